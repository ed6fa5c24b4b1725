// The mount's handlers: the guiding step's use of the one serial line that
// it shares with the telescope window, the guiding moves with their status
// texts, and the handlers of the telescope window (Form10) without the
// window itself. They call the Mount (telescope/mount.h) and turn its
// results into the status line, message boxes and the window's fields; they
// read the settings, the running flags and TelescopeState. The guiding
// step's three operations take the mount, the telescope state and the
// settings they need, and the status line.
//
// The guiding step uses the line like this:
//
//   if (!open_link_for_guiding(mount, telescope, com, status)) return;  // status line says why
//   timed_move(mount, settings, status, Direction::Right, 3);  // "#:Mw#", counts, "#:Qw#"
//   for (int i = 0; i < 8; ++i) wait_next_second(clock, ui);
//   ...
//   close_link_after_guiding(mount, telescope);  // closes only what it opened
//
// When the telescope window has the line open, the step uses it as it is
// and leaves it open, so R.A. and R.D. stay on the screen during guiding.
// A timed move yields before its start command and keeps the windows
// painted during its counts with input held back; the window's polling
// never falls between a start and its stop.
#pragma once

#include <string>

#include "config/settings.h"
#include "core/status_line.h"
#include "telescope/direction.h"
#include "telescope/mount.h"
#include "telescope/telescope_state.h"

namespace stellacq {

class Program;

// ---- guiding ----

// Makes the line ready for a guiding step's moves: uses it when the
// telescope window has it open, otherwise opens it. False when it cannot be
// opened; the status line then says why (on one line) and the step should
// make no move. `failure` (when given) receives that text.
bool open_link_for_guiding(Mount& mount, TelescopeState& telescope, int com_port, const StatusLine& status,
                           std::string* failure = nullptr);
// Ends the step's use of the line: closes it only if the step opened it and
// the telescope window does not use it meanwhile.
void close_link_after_guiding(Mount& mount, TelescopeState& telescope);

// How a timed move tells a stop that could not be sent (the mount may still
// be moving): on the status line and in a box, or, while a series or a
// program runs, which a box would halt until someone answers it, on the
// status line alone.
enum class StopWarning { Box, StatusLine };

// A timed move of guiding correcting `amount` pixels: status "move up" with
// amount and factor, one yield, the start command, y_move_repeat rounds
// (x_move_repeat for left and right) of amount x factor + 1 busy counts, the
// stop command, " stop" on the status line, pause_short. The line must be
// open (open_link_for_guiding). A stop that cannot be sent closes the line
// (its next open sends the stops again) and is told as `warning` says.
MoveEnd timed_move(Mount& mount, const Settings& settings, const StatusLine& status, Direction direction,
                   int amount, StopWarning warning = StopWarning::Box);

// ---- telescope window (Form10) ----

// Form_Load: the fields show their initial texts, polling is off, the line
// is left as it is.
void telescope_window_load(TelescopeState& telescope);
// "RS232C Open": opens the line and starts polling; a line that cannot be
// opened gets a message box and polling stays off.
void telescope_window_open(Program& p);
// Timer1_Timer: one yield, then "#:GR#" into ra_text and "#:GD#" into
// dec_text. An unanswered query marks the mount silent; see TelescopeState.
// A lost line is told in a box, but only in the window's fields and the
// status line while a series or a program runs, which go on.
void telescope_window_tick(Program& p);
// A direction button: the start command, 11 pause_ticks, the stop command.
// Polling pauses meanwhile; the window restarts its timer afterwards. A
// stop that cannot be sent is told in a box, or on the status line while a
// series or a program runs.
void telescope_window_nudge(Program& p, Direction direction);
// "Close" and closing the window: stops polling and closes the line unless
// a guiding step is using it (the step then closes it when it ends).
void telescope_window_close(Mount& mount, TelescopeState& telescope);

}  // namespace stellacq
