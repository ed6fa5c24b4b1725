#include "exposure/program_shooting.h"

#include <cmath>
#include <limits>

#include "camera/connection.h"
#include "config/ini_file.h"
#include "config/settings_store.h"
#include "core/numeric.h"
#include "core/wait.h"
#include "exposure/series.h"
#include "program/parts.h"
#include "program/program.h"

namespace stellacq {

namespace {

struct FieldRule {
  double least;
  bool whole;  // a count: a whole number that fits a frame counter
  const char* message;
};

const FieldRule kFieldRules[5] = {
    {1, false, "シャッター速度を設定して下さい"}, {0, false, "撮影間隔を設定して下さい"},
    {1, true, "撮影枚数を設定して下さい"},        {1, true, "繰り返し回数を設定して下さい"},
    {0, false, "待ち時間を設定して下さい"},
};

std::string setting_text(const OptionalNumber& n) {
  if (!n) return {};
  const std::string text = decimal_text(*n);
  return text.front() == ' ' ? text.substr(1) : text;
}

bool running(const Program& p) { return p.series.program_running == 1; }

// The countdown between two series, one step per change of the clock's
// second. False when the program was cancelled meanwhile.
bool count_down(Program& p, double wait_seconds) {
  // A fraction of a second counts as a whole second.
  double n = std::ceil(wait_seconds);
  while (n > 0) {
    p.ui.yield();
    if (!running(p)) return false;
    if (wait_second_change(p.clock, p.ui, [&] { return !running(p); }) == WaitEnd::Stopped) return false;
    n -= 1;
    set_status(p, kProgramWaitMessage + decimal_text(n) + "秒");
  }
  return true;
}

void finish(Program& p) {
  p.series.frames_remaining = -1;
  p.series.program_running = 0;
  set_status(p, kProgramDoneMessage);
}

}  // namespace

void exp_menu_grab_program_Click(SeriesState& series) {
  if (series.series_running == 0) series.guiding_mode = 0;
}

ProgramFields program_fields_from_settings(const Settings& s) {
  return {setting_text(s.program_shutter), setting_text(s.program_interval), setting_text(s.program_count),
          setting_text(s.program_repeat), setting_text(s.program_wait)};
}

FieldProblem check_program_fields(const ProgramFields& fields) {
  for (int i = 0; i < 5; ++i) {
    const double v = numeric_value(fields[i]);
    const FieldRule& rule = kFieldRules[i];
    const bool valid = v >= rule.least && std::isfinite(v) &&
                       (!rule.whole || (v == std::floor(v) && v <= std::numeric_limits<int>::max()));
    if (!valid) return {i, rule.message};
  }
  return {};
}

bool run_program(Program& p, const ProgramFields& fields) {
  if (p.series.program_running == 1 || p.series.series_running == 1) {
    p.ui.message_box(p.series.program_running == 1 ? "プログラム撮影中です"
                                                   : "連続撮影中です。連続撮影停止の後に実行して下さい",
                     {}, MessageButtons::Ok);
    return false;
  }
  const FieldProblem problem = check_program_fields(fields);
  if (problem.field >= 0) {
    p.ui.message_box(problem.message, {}, MessageButtons::Ok);
    set_status(p, kProgramDoneMessage);
    return true;
  }

  Settings& s = p.settings;
  s.program_shutter = numeric_value(fields[0]);
  s.program_interval = numeric_value(fields[1]);
  s.program_count = numeric_value(fields[2]);
  s.program_repeat = numeric_value(fields[3]);
  s.program_wait = numeric_value(fields[4]);
  if (!save_settings(settings_file(p), p.ui)) report_settings_write_failure(settings_file(p), p.ui);

  p.form.Text5 = fields[0];
  p.form.Text6 = fields[1];
  p.series.guiding_mode = 0;  // counted series without guiding

  const int repeat = static_cast<int>(*s.program_repeat);
  for (int r = 1; r <= repeat; ++r) {
    p.series.program_running = 1;
    p.series.frames_remaining = static_cast<int>(*s.program_count);
    p.connection.Timer1_Timer();
    p.ui.yield();
    // A failed series (the disk full, the unit silent) ends the program:
    // the next series would fail the same way after its first exposure.
    if (exp_menu_grab_Click(p) == SeriesEnd::Failed) {
      p.series.frames_remaining = -1;
      p.series.program_running = 0;
      return true;
    }
    if (!running(p)) break;
    set_status(p, kProgramWaitMessage);
    if (r == repeat) break;
    if (!count_down(p, *s.program_wait)) break;
    p.ui.yield();
    if (!running(p)) break;
  }
  finish(p);
  return true;
}

void cancel_program(Program& p) {
  p.series.program_running = 0;
  p.series.frames_remaining = -1;
  p.ui.yield();
}

}  // namespace stellacq
