// Ending the program on a termination signal (SIGTERM from `kill` or the
// desktop's force-quit, SIGINT from Ctrl-C, SIGHUP at logout) without
// leaving the mount moving. The signal handler only writes the signal's
// number into a pipe; the window's thread reads it at its next pass of the
// event loop, which a guiding move makes every few milliseconds while it
// counts, sends the stop of a move under way, and then ends the program by
// the same signal, as it would have ended without the handler.
#pragma once

#include <memory>

class QSocketNotifier;

namespace stellacq {

class Mount;

class TerminationGuard {
 public:
  // Needs a QCoreApplication. One guard at a time.
  explicit TerminationGuard(Mount& mount);
  ~TerminationGuard();
  TerminationGuard(const TerminationGuard&) = delete;
  TerminationGuard& operator=(const TerminationGuard&) = delete;

 private:
  void on_signal();

  Mount& mount_;
  std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace stellacq
