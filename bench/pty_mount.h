// The simulated mount on the far end of a pseudo-terminal, pumped by the
// benchmark itself so that it can wake within a fraction of a character time
// (sim::PtyServer, which the tests use, looks again only every millisecond).
// The program opens the slave side (`device()`, e.g. /dev/pts/3); pump()
// moves what the program wrote to the mount and the mount's due reply
// characters back; it never waits.
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
