#include "app/termination.h"

#include <fcntl.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <cerrno>
#include <csignal>

#include "telescope/mount.h"

namespace stellacq {

namespace {

constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};

// The self-pipe: written by the handler, read on the window's thread.
int signal_pipe[2] = {-1, -1};

extern "C" void note_signal(int signal_number) {
  const int saved = errno;
  const auto byte = static_cast<unsigned char>(signal_number);
  [[maybe_unused]] const ssize_t written = ::write(signal_pipe[1], &byte, 1);
  errno = saved;
}

}  // namespace

TerminationGuard::TerminationGuard(Mount& mount) : mount_(mount) {
  if (::pipe2(signal_pipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
  notifier_ = std::make_unique<QSocketNotifier>(signal_pipe[0], QSocketNotifier::Read);
  QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] { on_signal(); });
  struct sigaction action {};
  action.sa_handler = note_signal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (const int s : kSignals) ::sigaction(s, &action, nullptr);
}

TerminationGuard::~TerminationGuard() {
  for (const int s : kSignals) ::signal(s, SIG_DFL);
  notifier_.reset();
  for (int& fd : signal_pipe) {
    if (fd >= 0) ::close(fd);
    fd = -1;
  }
}

void TerminationGuard::on_signal() {
  unsigned char byte = 0;
  if (::read(signal_pipe[0], &byte, 1) != 1) return;
  mount_.stop_moving();
  ::signal(byte, SIG_DFL);
  ::raise(byte);
}

}  // namespace stellacq
