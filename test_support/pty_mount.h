// The simulated mount on the far end of a pseudo-terminal, so that the real
// serial line (QtSerialLine) can be run against it without hardware. The
// program opens the slave side (`device()`, e.g. /dev/pts/3); pump() moves
// what the program wrote to the mount and the mount's due reply characters
// back. Tests call pump() from their busy count; a benchmark may run it on
// a thread of its own.
#pragma once

#include <string>

#include "sim/lx200_controller.h"

namespace stellacq::testing {

class PtyMount {
 public:
  explicit PtyMount(sim::Lx200Controller& mount);
  ~PtyMount();
  PtyMount(const PtyMount&) = delete;
  PtyMount& operator=(const PtyMount&) = delete;

  // Empty when no pseudo-terminal could be made.
  const std::string& device() const { return device_; }
  int master() const { return master_; }
  // One exchange in each direction; never waits.
  void pump();

 private:
  sim::Lx200Controller& mount_;
  int master_ = -1;
  std::string device_;
};

}  // namespace stellacq::testing
