// Mount operations on the program: opening and closing the one serial line
// that the telescope window and the guiding step share, the four timed moves
// of guiding, and the handlers of the telescope window (Form10) without the
// window itself. They read the settings and TelescopeState and write the
// status line, message boxes and the window's fields.
//
// The guiding step uses the line like this:
//
//   if (!open_link_for_guiding(p)) return;  // status line says why
//   p.telescope.move_amount = 3;
//   move_right(p);                          // "#:Mw#", counts, "#:Qw#"
//   for (int i = 0; i < 8; ++i) wait_next_second(p.clock, p.ui);
//   ...
//   close_link_after_guiding(p);            // closes only what it opened
//
// When the telescope window has the line open, the step uses it as it is
// and leaves it open, so R.A. and R.D. stay on the screen during guiding.
// A timed move yields only before its start command, so the window's
// polling never falls between a start and its stop.
#pragma once

#include <string>

#include "telescope/direction.h"
#include "telescope/serial_line.h"

namespace stellacq {

class Program;

// "move up", "#:Mn#", "#:Qn#" and so on: Up is north, Down south, Left
// east and Right west.
struct DirectionCommands {
  const char* word;
  const char* start;
  const char* stop;
};
const DirectionCommands& direction_commands(Direction direction);

// "COM1 (/dev/ttyS0)": the line as the user knows it.
std::string line_name(Program& p);

// Sets the port number from com_port and the settings "9600,N,8,1", then
// opens the line unless it is open already. Says nothing to the user.
LineError open_link(Program& p, std::string* detail = nullptr);
// Closes the line if it is open.
void close_link(Program& p);
// The user's message for a line that cannot be opened: the line, the reason
// and what to do about it.
std::string open_failure_text(Program& p, LineError error, const std::string& detail);

// ---- guiding ----

// Makes the line ready for a guiding step's moves: uses it when the
// telescope window has it open, otherwise opens it. False when it cannot be
// opened; the status line then says why and the step should make no move.
bool open_link_for_guiding(Program& p);
// Ends the step's use of the line: closes it only if the step opened it and
// the telescope window does not use it meanwhile.
void close_link_after_guiding(Program& p);

enum class MoveEnd {
  Done,         // start, counts and stop went out
  NotSent,      // the line was closed or refused the start: the mount did not move
  StopNotSent,  // the stop could not be sent: the user was told the mount may still be moving
};

// The timed moves of guiding, each correcting p.telescope.move_amount:
// status "move up" with amount and factor, one yield, the start command,
// y_move_repeat rounds (x_move_repeat for left and right) of
// move_amount x factor + 1 busy counts, the stop command, " stop" on the
// status line, pause_short. The line must be open (open_link_for_guiding).
MoveEnd move_up(Program& p);
MoveEnd move_down(Program& p);
MoveEnd move_left(Program& p);
MoveEnd move_right(Program& p);
MoveEnd timed_move(Program& p, Direction direction);

// ---- telescope window (Form10) ----

// Form_Load: the fields show their initial texts, polling is off, the line
// is left as it is.
void telescope_window_load(Program& p);
// "RS232C Open": opens the line and starts polling; a line that cannot be
// opened gets a message box and polling stays off.
void telescope_window_open(Program& p);
// Timer1_Timer: one yield, then "#:GR#" into ra_text and "#:GD#" into
// dec_text. An unanswered query marks the mount silent; see TelescopeState.
void telescope_window_tick(Program& p);
// A direction button: the start command, 11 pause_ticks, the stop command.
// Polling pauses meanwhile; the window restarts its timer afterwards.
void telescope_window_nudge(Program& p, Direction direction);
// "Close" and closing the window: stops polling and closes the line unless
// a guiding step is using it (the step then closes it when it ends).
void telescope_window_close(Program& p);

}  // namespace stellacq
