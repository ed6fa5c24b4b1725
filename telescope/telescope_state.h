// Run-time state of the mount link: who is using the one serial line, and
// what the telescope window shows.
#pragma once

#include <string>

namespace stellacq {

struct TelescopeState {
  // The telescope window and the guiding step share one line. The window
  // keeps it open while the user wants; the guiding step uses it while the
  // window has it open and otherwise opens it for the step and closes it at
  // the step's end.
  bool window_uses_line = false;
  bool guiding_uses_line = false;
  bool guiding_opened_line = false;  // the guiding step closes the line when it ends

  // Telescope window (Form10).
  std::string ra_text = "00:00:00";  // Label3: the last "#:GR#" reply
  std::string dec_text = "+00d00'";  // Label4: the last "#:GD#" reply
  bool polling = false;              // Timer1 runs
  bool in_tick = false;              // a polling tick is running
  // A query went unanswered: each tick only sends a probe and looks at the
  // next tick whether anything came back, so a switched-off mount costs the
  // window no waiting.
  bool mount_silent = false;
};

}  // namespace stellacq
