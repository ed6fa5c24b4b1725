// Run-time state of the mount link used by the timed moves.
#pragma once

namespace stellacq {

struct TelescopeState {
  int move_amount = 0;  // pixels of deviation the next timed move corrects
};

}  // namespace stellacq
