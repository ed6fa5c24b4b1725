// The telescope panel: the mount on its serial line, shared by the guiding
// step and the telescope window (Form10). It owns the Mount
// (telescope/mount.h) and the panel's run-time state, and turns the mount's
// results into the status line, message boxes and the window's fields; it
// reads the settings (COM port, tracking factors, move repeats) and asks
// whether a series or a program is running, which a box would halt.
//
// The guiding step uses the line like this:
//
//   if (!panel.open_link_for_guiding()) return;  // status line says why
//   panel.timed_move(Direction::Right, 3);       // "#:Mw#", counts, "#:Qw#"
//   for (int i = 0; i < 8; ++i) wait_next_second(clock, ui);
//   ...
//   panel.close_link_after_guiding();            // closes only what it opened
//
// When the telescope window has the line open, the step uses it as it is
// and leaves it open, so R.A. and R.D. stay on the screen during guiding.
// A timed move yields before its start command and keeps the windows
// painted during its counts with input held back; the window's polling
// never falls between a start and its stop.
#pragma once

#include <functional>
#include <string>
#include <utility>

#include "config/settings.h"
#include "core/busy_count.h"
#include "core/clock.h"
#include "core/interaction.h"
#include "core/status_line.h"
#include "telescope/direction.h"
#include "telescope/mount.h"
#include "telescope/serial_line.h"
#include "telescope/telescope_state.h"

namespace stellacq {

// How a timed move tells a stop that could not be sent (the mount may still
// be moving): on the status line and in a box, or, while a series or a
// program runs, which a box would halt until someone answers it, on the
// status line alone.
enum class StopWarning { Box, StatusLine };

class TelescopePanel {
 public:
  // `line_clock` is the time the mount's replies are waited on.
  // `series_or_program_running` tells whether a box would halt a running
  // series or program.
  TelescopePanel(SerialLine& line, BusyCount& busy, Clock& line_clock, Interaction& ui,
                 const Settings& settings, StatusLine status, std::function<bool()> series_or_program_running)
      : line_(line),
        mount_(line, busy, line_clock),
        ui_(ui),
        settings_(settings),
        status_(status),
        running_(std::move(series_or_program_running)) {}
  TelescopePanel(const TelescopePanel&) = delete;
  TelescopePanel& operator=(const TelescopePanel&) = delete;

  // Every command to the mount goes through it.
  Mount& mount() { return mount_; }
  TelescopeState& state() { return state_; }
  const TelescopeState& state() const { return state_; }

  // ---- guiding ----

  // Makes the line ready for a guiding step's moves: uses it when the
  // telescope window has it open, otherwise opens it. False when it cannot
  // be opened; the status line then says why (on one line) and the step
  // should make no move. `failure` (when given) receives that text.
  bool open_link_for_guiding(std::string* failure = nullptr);
  // Ends the step's use of the line: closes it only if the step opened it
  // and the telescope window does not use it meanwhile.
  void close_link_after_guiding();
  // A timed move of guiding correcting `amount` pixels: status "move up"
  // with amount and factor, one yield, the start command, y_move_repeat
  // rounds (x_move_repeat for left and right) of amount x factor + 1 busy
  // counts, the stop command, " stop" on the status line, pause_short. The
  // line must be open (open_link_for_guiding). A stop that cannot be sent
  // closes the line (its next open sends the stops again) and is told as
  // `warning` says.
  MoveEnd timed_move(Direction direction, int amount, StopWarning warning = StopWarning::Box);

  // ---- telescope window (Form10) ----

  // Form_Load: the fields show their initial texts, polling is off, the
  // line is left as it is.
  void telescope_window_load();
  // "RS232C Open": opens the line and starts polling; a line that cannot be
  // opened gets a message box and polling stays off.
  void telescope_window_open();
  // Timer1_Timer: one yield, then "#:GR#" into ra_text and "#:GD#" into
  // dec_text. An unanswered query marks the mount silent; see
  // TelescopeState. A lost line is told in a box, but only in the window's
  // fields and the status line while a series or a program runs, which go
  // on.
  void telescope_window_tick();
  // A direction button: the start command, 11 pause_ticks, the stop
  // command. Polling pauses meanwhile; the window restarts its timer
  // afterwards. A stop that cannot be sent is told in a box, or on the
  // status line while a series or a program runs.
  void telescope_window_nudge(Direction direction);
  // "Close" and closing the window: stops polling and closes the line
  // unless a guiding step is using it (the step then closes it when it
  // ends).
  void telescope_window_close();

 private:
  std::string line_name();
  bool box_would_halt() const { return running_ && running_(); }
  void drop_line();
  void lose_line();
  bool poll_field(const std::string& command, std::string& field);
  void poll_fields();

  SerialLine& line_;
  Mount mount_;
  Interaction& ui_;
  const Settings& settings_;
  StatusLine status_;
  std::function<bool()> running_;
  TelescopeState state_;
};

}  // namespace stellacq
