// Program shooting: a counted series repeated several times with a waiting
// time between the series, as filled in in the program window (Form11).
//
// The program is stored in the settings (program_shutter, program_interval,
// program_count, program_repeat, program_wait) and written to the settings
// file before it runs. It writes the main window's shutter-speed and
// interval fields, runs the counted series through exp_menu_grab_Click, and
// counts the waiting time down on the status line by changes of the clock's
// second. Reads and writes program_running and frames_remaining of the
// series state; the window's cancel button and the main window's stop
// commands talk to the running program only through them and
// series_running.
#pragma once

#include <array>
#include <string>

#include "config/settings.h"
#include "config/settings_store.h"
#include "core/clock.h"
#include "core/status_line.h"
#include "exposure/exposure_state.h"
#include "exposure/series.h"
#include "exposure/shot_fields.h"

namespace stellacq {

inline constexpr const char* kProgramWaitMessage = " 待ち時間";
inline constexpr const char* kProgramDoneMessage = " プログラム撮影終了";
inline constexpr const char* kProgramRunningMessage = " プログラム撮影中です";

// The five fields of the program window, Text1 to Text5: shutter speed,
// interval, frame count, repeat count, waiting time.
using ProgramFields = std::array<std::string, 5>;

// The menu command, before the window opens: a later plain series does not
// guide (a guided series that runs keeps guiding).
void exp_menu_grab_program_Click(SeriesState& series);

// The fields' texts from the five settings (a setting never set gives "").
ProgramFields program_fields_from_settings(const Settings& s);

// The first field that fails its check (0..4 for Text1..Text5), with its
// message; nothing when all pass. Shutter speed at least 1, interval and
// waiting time at least 0, frame count and repeat count whole numbers from
// 1 to 2^31-1.
struct FieldProblem {
  int field = -1;
  std::string message;
};
FieldProblem check_program_fields(const ProgramFields& fields);

class ProgramShooting {
 public:
  ProgramShooting(SeriesShooting& series, SettingsFile settings_file, Clock& clock, StatusLine status,
                  ShotFields& fields)
      : series_(series),
        settings_file_(settings_file),
        clock_(clock),
        ui_(status.ui),
        status_(status),
        fields_(fields) {}
  ProgramShooting(const ProgramShooting&) = delete;
  ProgramShooting& operator=(const ProgramShooting&) = delete;

  // The program as stored in the settings.
  const Settings& settings() const { return settings_file_.settings; }

  // The execute button: checks, stores and writes the settings, and runs
  // the program. Returns when the program has ended, true when the window
  // closes: after the program, or after a failed check (its message shown,
  // nothing stored). While a program or a series runs it only says so and
  // returns false: one program, one series at a time.
  bool run_program(const ProgramFields& fields);

  // The cancel button: the running program ends at its next test, and a
  // running series becomes uncounted. The window then closes.
  void cancel_program();

  bool running() const { return series_.state().program_running == 1; }

 private:
  bool count_down(double wait_seconds);
  void finish();

  SeriesShooting& series_;
  SettingsFile settings_file_;
  Clock& clock_;
  Interaction& ui_;
  StatusLine status_;
  ShotFields& fields_;
};

}  // namespace stellacq
