#include "sim/pty_server.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <iostream>

namespace stellacq::sim {

int open_pty_master(std::string& path) {
  const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
  if (master < 0) return -1;
  const char* name = (::grantpt(master) == 0 && ::unlockpt(master) == 0) ? ::ptsname(master) : nullptr;
  if (name == nullptr) {
    const int saved = errno;
    ::close(master);
    errno = saved;
    return -1;
  }
  path = name;
  return master;
}

namespace {

// How long the thread sleeps when nothing is due: a client's characters
// and a stop wake it at once.
constexpr int kIdleMs = 50;
// While no client has the device open the master reports a hang-up at once;
// the thread then looks again this much later.
constexpr int kNoClientMs = 20;

std::string printable(std::string_view bytes) {
  std::string out;
  for (const char ch : bytes) {
    const auto u = static_cast<unsigned char>(ch);
    if (u >= 0x20 && u < 0x7F) {
      out += ch;
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", u);
      out += hex;
    }
  }
  return out;
}

}  // namespace

PtyServer::PtyServer(Lx200Controller& mount, std::mutex& mount_mutex, PtyServerOptions options)
    : mount_(mount), mount_mutex_(mount_mutex), options_(std::move(options)) {}

PtyServer::~PtyServer() { stop(); }

bool PtyServer::start(std::string* error) {
  if (running()) return true;
  const auto fail = [&](const std::string& why) {
    if (error) *error = why + ": " + std::strerror(errno);
    if (master_ >= 0) ::close(master_);
    for (int& fd : wake_) {
      if (fd >= 0) ::close(fd);
      fd = -1;
    }
    master_ = -1;
    path_.clear();
    return false;
  };
  master_ = open_pty_master(path_);
  if (master_ < 0) return fail("cannot open a pseudo-terminal");
  ::fcntl(master_, F_SETFD, FD_CLOEXEC);

  // A fresh terminal echoes and edits lines; a serial line does neither.
  // Clients set raw mode themselves, but one that reads before it does must
  // not see its own commands come back.
  const int slave = ::open(path_.c_str(), O_RDWR | O_NOCTTY);
  if (slave < 0) return fail("cannot open " + path_);
  termios tio{};
  if (::tcgetattr(slave, &tio) == 0) {
    ::cfmakeraw(&tio);
    ::cfsetspeed(&tio, B9600);
    ::tcsetattr(slave, TCSANOW, &tio);
  }
  ::close(slave);

  if (::pipe2(wake_, O_CLOEXEC | O_NONBLOCK) != 0) return fail("cannot make a pipe");
  if (!options_.link_path.empty()) {
    struct stat st {};
    if (::lstat(options_.link_path.c_str(), &st) == 0) {
      if (!S_ISLNK(st.st_mode)) {
        errno = EEXIST;
        return fail("will not replace " + options_.link_path);
      }
      ::unlink(options_.link_path.c_str());  // a link left by an earlier run
    }
    if (::symlink(path_.c_str(), options_.link_path.c_str()) != 0)
      return fail("cannot link " + options_.link_path);
    linked_ = true;
  }
  {
    std::lock_guard lock(mount_mutex_);
    mount_.on_unknown_command([this](const std::string& command) { log_line("??", command); });
  }
  stopping_ = false;
  thread_ = std::thread([this] { serve(); });
  return true;
}

void PtyServer::stop() {
  if (thread_.joinable()) {
    stopping_ = true;
    const char byte = 0;
    [[maybe_unused]] const ssize_t n = ::write(wake_[1], &byte, 1);
    thread_.join();
    std::lock_guard lock(mount_mutex_);
    mount_.on_unknown_command(nullptr);
  }
  if (linked_) {
    char target[4096];
    const ssize_t n = ::readlink(options_.link_path.c_str(), target, sizeof target - 1);
    if (n >= 0 && std::string(target, static_cast<std::size_t>(n)) == path_)
      ::unlink(options_.link_path.c_str());
    linked_ = false;
  }
  for (int* fd : {&master_, &wake_[0], &wake_[1]}) {
    if (*fd >= 0) ::close(*fd);
    *fd = -1;
  }
}

void PtyServer::serve() {
  while (!stopping_) {
    std::size_t pending;
    {
      std::lock_guard lock(mount_mutex_);
      pending = mount_.output_pending();
    }
    pollfd fds[2] = {{master_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
    // A reply on its way is paced character by character: look again in a
    // millisecond (one character at 9600 baud).
    const int ready = ::poll(fds, 2, pending > 0 ? 1 : kIdleMs);
    if (stopping_) break;
    if (ready > 0 && (fds[0].revents & POLLHUP) != 0 && (fds[0].revents & POLLIN) == 0) {
      // Nobody has the device open. What the mount says meanwhile is lost,
      // as on a line with nothing plugged in.
      pump();
      ::poll(&fds[1], 1, kNoClientMs);
      continue;
    }
    pump();
  }
}

void PtyServer::pump() {
  char buffer[256];
  for (;;) {
    const ssize_t n = ::read(master_, buffer, sizeof buffer);
    if (n <= 0) break;
    const std::string_view bytes(buffer, static_cast<std::size_t>(n));
    log_line("<-", bytes);
    std::lock_guard lock(mount_mutex_);
    mount_.receive(bytes);
  }
  std::string out;
  std::size_t pending;
  {
    std::lock_guard lock(mount_mutex_);
    out = mount_.take_output();
    pending = mount_.output_pending();
  }
  std::size_t done = 0;
  while (done < out.size()) {
    const ssize_t n = ::write(master_, out.data() + done, out.size() - done);
    if (n <= 0) break;  // no client, or one that does not read: the rest is lost
    done += static_cast<std::size_t>(n);
  }
  // One log line a reply: up to each '#', or what came when the mount has
  // nothing more on its way ("P", "1", "0").
  for (const char ch : out) {
    reply_ += ch;
    if (ch == '#') {
      log_line("->", reply_);
      reply_.clear();
    }
  }
  if (pending == 0 && !reply_.empty()) {
    log_line("->", reply_);
    reply_.clear();
  }
}

void PtyServer::log_line(const char* direction, std::string_view bytes) {
  if (options_.log == nullptr) return;
  const auto now = std::chrono::system_clock::now();
  const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
  const auto ms =
      std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
  std::tm local{};
  ::localtime_r(&seconds, &local);
  char stamp[32];
  std::snprintf(stamp, sizeof stamp, "%02d:%02d:%02d.%03d", local.tm_hour, local.tm_min, local.tm_sec,
                static_cast<int>(ms));
  *options_.log << stamp << ' ' << direction << ' ' << printable(bytes) << std::endl;
  if (!*options_.log) {
    // A pipe whose reader has gone, a full disk: the mount goes on serving
    // without its log.
    std::cerr << "the mount's log cannot be written (" << std::strerror(errno) << "); logging stops\n";
    options_.log = nullptr;
  }
}

}  // namespace stellacq::sim
