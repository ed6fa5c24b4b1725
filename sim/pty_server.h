// The simulated mount served on a pseudo-terminal, so that programs that
// open a serial device (STELLACQ's real serial line, INDI's LX200 drivers,
// KStars) talk to it as to a mount on a USB-serial adapter.
//
// The server opens a pseudo-terminal master, sets the line raw, and on a
// thread of its own moves what the client writes to the mount and the
// mount's reply characters back as they fall due on the mount's clock (real
// time: the mount must run on a SystemClock). It holds `mount_mutex` around
// every call into the mount, so another thread (a simulated camera that
// renders its frames from the mount's pointing) may read the mount under the
// same mutex while a client guides it.
//
// Optionally it makes a symbolic link to the device (removed again at stop
// when it still points there), and logs both directions with the time of
// day in milliseconds, one line a command or a reply:
//
//   21:04:05.123 <- :GR#
//   21:04:05.133 -> 05:35:17#
//   21:04:06.001 ?? :XY#          (a command the mount does not know)
//
// Characters outside printable ASCII are logged as \xNN (ACK is \x06).
// When the log cannot be written any more, the server says so on the standard
// error and goes on without it.
#pragma once

#include <atomic>
#include <mutex>
#include <ostream>
#include <string>
#include <thread>

#include "sim/lx200_controller.h"

namespace stellacq::sim {

// Opens the master side of a new pseudo-terminal, non-blocking, and unlocks
// it; `path` receives the device of its slave side ("/dev/pts/3"). Returns
// the master's descriptor, or -1 (errno says why).
int open_pty_master(std::string& path);

struct PtyServerOptions {
  std::string link_path;        // a symbolic link made to the device; empty: none
  std::ostream* log = nullptr;  // both directions with times; written from the server's thread
};

class PtyServer {
 public:
  PtyServer(Lx200Controller& mount, std::mutex& mount_mutex, PtyServerOptions options = {});
  ~PtyServer();  // stops
  PtyServer(const PtyServer&) = delete;
  PtyServer& operator=(const PtyServer&) = delete;

  // Opens the pseudo-terminal, makes the link and starts serving. False with
  // the reason in `error` when the device or the link cannot be made; then
  // nothing is left behind.
  bool start(std::string* error = nullptr);
  // Stops serving, closes the device (a client still on it sees a hang-up)
  // and removes the link. Safe to call twice.
  void stop();
  bool running() const { return thread_.joinable(); }
  // The device a client opens, e.g. /dev/pts/3; empty before start.
  const std::string& path() const { return path_; }

 private:
  void serve();
  void pump();
  void log_line(const char* direction, std::string_view bytes);

  Lx200Controller& mount_;
  std::mutex& mount_mutex_;
  PtyServerOptions options_;
  int master_ = -1;
  int wake_[2] = {-1, -1};  // a pipe that wakes the thread to stop
  std::string path_;
  bool linked_ = false;
  std::string reply_;  // reply characters written since the last log line
  std::atomic<bool> stopping_{false};
  std::thread thread_;
};

}  // namespace stellacq::sim
