#include "exposure/series.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <system_error>

#include "camera/connection.h"
#include "camera/download.h"
#include "core/numeric.h"
#include "core/wait.h"
#include "exposure/single.h"
#include "fits/file_operations.h"
#include "fits/header_builder.h"
#include "guiding/guide_lock.h"
#include "guiding/guiding_step.h"
#include "image/commands.h"
#include "program/parts.h"
#include "program/program.h"

namespace stellacq {

namespace {

constexpr std::uintmax_t kFitsBlock = 2880;
constexpr std::int64_t kSecondsPerDay = 86400;

// Days from 1970-01-01 to the civil date y-m-d (proleptic Gregorian).
std::int64_t days_from_civil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

// Ends the series after a stop command: the stop's message stays on the
// status line, whatever the steps after the stop wrote there.
SeriesEnd end_by_stop(Program& p) {
  if (!p.series.stop_message.empty() && p.form.Text7 != p.series.stop_message)
    set_status(p, p.series.stop_message);
  return SeriesEnd::Stopped;
}

// Steps 1 and 2 shared by the two stop commands.
void stop_series(Program& p, const char* message) {
  if (p.series.guiding_mode == 1 && p.exposure.display_after_shooting == 1) {
    p.guide.guide_locked = 0;
    draw_guide_marker(p.guide, shown_frames(p), configured_span(p.settings), p.ui);
    p.ui.yield();
  }
  p.series.guiding_mode = 0;
  p.series.series_running = 0;
  p.series.stop_message = message;
}

// Ends the series after the user aborted its frame, as the stop command
// would, the abort's message on the status line.
SeriesEnd end_by_abort(Program& p) {
  stop_series(p, kShootingAbortedMessage);
  p.series.frames_remaining = -1;
  end_by_stop(p);
  return SeriesEnd::Aborted;
}

// Ends the series on a failure that the failing step has reported.
SeriesEnd end_by_failure(Program& p) {
  p.series.series_running = 0;
  return SeriesEnd::Failed;
}

// Asks before a saving series when the save folder's disk cannot take the
// frames the series will take. False when the user cancels.
bool enough_room_or_agreed(Program& p) {
  const FrameShape size = frame_shape(p.settings.head_model, p.frames.binning);
  const std::optional<std::uintmax_t> room =
      frames_with_room(p.settings.save_folder, series_file_bytes(size.width, size.height));
  if (!room) return true;  // a missing folder is reported by the first save
  const std::uintmax_t needed = p.series.frames_remaining > 0
                                    ? static_cast<std::uintmax_t>(p.series.frames_remaining)
                                    : kOpenEndedRoomFrames;
  if (*room >= needed) return true;
  const std::string text = "保存先 " + p.settings.save_folder + " のディスクの空きは、あと " +
                           std::to_string(*room) + " 枚分しかありません。\n撮影を始めますか";
  return p.ui.message_box(text, {}, MessageButtons::OkCancel) == MessageAnswer::Ok;
}

// The steps before the first frame. Nothing when the series starts; how it
// ended otherwise: a refusal or the user's cancel does not start it, a unit
// that failed the time or binning exchange is a failure.
std::optional<SeriesEnd> start_series(Program& p) {
  if (p.link.camera_connected == 0) {
    set_status(p, kConnectCameraMessage);
    return SeriesEnd::NotStarted;
  }
  p.series.series_running = 1;
  p.series.stop_message.clear();
  const double t = numeric_value(p.form.Text5);
  if (t < 1) {
    set_status(p, kShutterTooShortMessage);
    p.series.series_running = 0;
    return SeriesEnd::NotStarted;
  }
  p.form.Text5 = decimal_text(int_floor(t));
  if (!send_time_and_binning(camera_of(p), p.exposure, numeric_value(p.form.Text5), p.frames.binning,
                             status_line(p)))
    return end_by_failure(p);
  const bool saving = number_or_zero(p.settings.save_in_series) == 1;
  const bool agreed =
      saving ? enough_room_or_agreed(p)
             : p.ui.message_box(kNoSaveQuestion, {}, MessageButtons::OkCancel) == MessageAnswer::Ok;
  if (!agreed) {
    p.series.series_running = 0;
    return SeriesEnd::NotStarted;
  }
  return std::nullopt;
}

// One frame, from the start time to the status of the wait. Nothing when
// the series goes on.
std::optional<SeriesEnd> shoot_frame(Program& p) {
  p.series.interval_text = p.form.Text6;
  const NextShot next = next_shot(p.clock.local_now(), numeric_value(p.series.interval_text));
  p.series.next_shot_text = next.text;
  p.series.next_shot_at = next.at;
  set_status(p, kSeriesShootingMessage);
  p.ui.yield();

  // The header is built right before the exposure command, so that it holds
  // this frame's start and the shutter-speed field as it is now.
  // The frame keeps the size it had then, whatever is loaded meanwhile.
  make_light_header(held_frames(p), header_values(p));
  const FrameShape shape{p.frames.image_width, p.frames.image_height};
  FrameAbort& abort = p.exposure.abort;
  abort.reset();
  if (!expose_frame(camera_of(p), status_line(p), FrameKind::Light, &abort))
    return abort.dropped ? end_by_abort(p) : end_by_failure(p);
  // A stop given before the exposure lets the exposure run to its end; its
  // frame stays in the unit.
  if (p.series.series_running == 0) return end_by_stop(p);
  const std::optional<FrameInfo> taken =
      download_frame(camera_of(p), p.frames, status_line(p), FrameKind::Light, shape, &abort);
  if (!taken) return abort.dropped ? end_by_abort(p) : end_by_failure(p);

  if (p.exposure.display_after_shooting == 1) {
    // Both corrections rewrite the light frame in place, so the saved file
    // holds the corrected counts.
    if (p.settings.guide_dark_sub == 1) image_menu_display_dark_sub_Click(p);
    if (p.settings.guide_flat_sub == 1) image_menu_display_flat_sub_Click(p);
    image_menu_display_auto_Click(p);
  }
  p.ui.yield();

  const SeriesFrame frame{p.frames.light_frame, taken->width, taken->height, p.headers.light_header};
  if (!series_save(frame, p.file, p.settings, p.clock.local_now(), status_line(p))) return end_by_failure(p);
  if (p.series.series_running == 0) return end_by_stop(p);
  if (p.series.guiding_mode == 1) guiding_step(p);

  if (p.series.series_running == 1) {
    std::string text = kNextShotMessage + p.series.next_shot_text;
    // A guiding failure must not vanish under the next-shot text.
    if (p.guide.unguided_frames > 0)
      text += kUnguidedFramesMessage + std::to_string(p.guide.unguided_frames) + "枚";
    set_status(p, text);
  }
  if (p.series.frames_remaining > 0) --p.series.frames_remaining;
  return std::nullopt;
}

// The wait for the next start time: ends the series at a stop or when a
// counted series is done; starts the next frame at the start time, or at
// once when the interval field holds 0.
std::optional<SeriesEnd> wait_for_next_shot(Program& p) {
  const WaitEnd end = wait_until(
      p.ui,
      [&] {
        return numeric_value(p.form.Text6) == 0 ||
               seconds_of_local_time(p.clock.local_now()) >= p.series.next_shot_at;
      },
      [&] { return p.series.series_running == 0 || p.series.frames_remaining == 0; });
  if (end == WaitEnd::Reached) return std::nullopt;
  if (p.series.series_running == 0) return end_by_stop(p);
  p.series.series_running = 0;
  return SeriesEnd::Done;
}

// Whether a series may start now; one series runs at a time.
bool no_series_running(Program& p) {
  if (p.series.series_running == 0) return true;
  set_status(p, kSeriesRunningMessage);
  return false;
}

// The interval field as whole seconds with a leading blank.
void whole_interval_field(Program& p) { p.form.Text6 = decimal_text(int_floor(numeric_value(p.form.Text6))); }

}  // namespace

std::int64_t seconds_of_local_time(const LocalDateTime& t) {
  return days_from_civil(t.year, static_cast<unsigned>(t.month), static_cast<unsigned>(t.day)) *
             kSecondsPerDay +
         t.hour * 3600 + t.minute * 60 + t.second;
}

NextShot next_shot(const LocalDateTime& now, double interval) {
  // Up to ten years; a longer interval is no interval a series can use.
  const double whole = std::isfinite(interval) ? std::clamp(std::floor(interval), 0.0, 3.2e8) : 0.0;
  const std::int64_t seconds = static_cast<std::int64_t>(whole);
  const std::int64_t of_day = (now.hour * 3600 + now.minute * 60 + now.second + seconds) % kSecondsPerDay;
  char text[16];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d", static_cast<int>(of_day / 3600),
                static_cast<int>(of_day / 60 % 60), static_cast<int>(of_day % 60));
  return {text, seconds_of_local_time(now) + seconds};
}

std::optional<int> frame_count_answer(const std::string& answer) {
  const double n = numeric_value(answer);
  if (n == 0) return 0;  // also an empty answer and a text without a number
  if (n < 0 || n != std::floor(n)) return std::nullopt;
  // More frames than a series can count take longer than any night.
  return static_cast<int>(std::min(n, static_cast<double>(std::numeric_limits<int>::max())));
}

std::uintmax_t series_file_bytes(int width, int height) {
  const std::uintmax_t data = static_cast<std::uintmax_t>(width) * static_cast<std::uintmax_t>(height) * 2;
  return kFitsBlock + (data + kFitsBlock - 1) / kFitsBlock * kFitsBlock;
}

std::optional<std::uintmax_t> frames_with_room(const std::string& folder, std::uintmax_t file_bytes) {
  std::error_code ec;
  const std::filesystem::space_info space = std::filesystem::space(folder, ec);
  if (ec || file_bytes == 0 || space.available == static_cast<std::uintmax_t>(-1)) return std::nullopt;
  return space.available / file_bytes;
}

SeriesEnd exp_menu_grab_Click(Program& p) {
  if (!no_series_running(p)) return SeriesEnd::NotStarted;
  if (const std::optional<SeriesEnd> refused = start_series(p)) return *refused;
  for (;;) {
    if (const std::optional<SeriesEnd> end = shoot_frame(p)) return *end;
    if (const std::optional<SeriesEnd> end = wait_for_next_shot(p)) return *end;
  }
}

void exp_menu_grab_num_Click(Program& p) {
  if (!no_series_running(p)) return;
  p.series.guiding_mode = 0;
  whole_interval_field(p);
  const std::optional<int> n = frame_count_answer(p.ui.input_box(kCountPrompt, kCountTitle, ""));
  if (!n) {
    p.ui.message_box(kBadCountMessage, {}, MessageButtons::Ok);
    p.series.frames_remaining = -1;
    return;
  }
  if (*n == 0) {
    p.series.frames_remaining = -1;
    return;
  }
  p.series.frames_remaining = *n;
  p.connection.Timer1_Timer();  // shows the count at once
  p.ui.yield();
  const SeriesEnd end = exp_menu_grab_Click(p);
  p.series.frames_remaining = -1;
  // A failure and an abort keep their message on the status line.
  if (end != SeriesEnd::Failed && end != SeriesEnd::Aborted) set_status(p, kCountedSeriesDoneMessage);
}

void exp_menu_grab_auto_Click(Program& p) {
  if (!no_series_running(p)) return;
  p.series.guiding_mode = 1;
  whole_interval_field(p);
  exp_menu_grab_Click(p);
  // However the series ended, a later plain series does not guide.
  p.series.guiding_mode = 0;
}

void exp_menu_grab_stop_Click(Program& p) {
  stop_series(p, kSeriesStoppedMessage);
  p.series.frames_remaining = -1;
  set_status(p, kSeriesStoppedMessage);
}

void exp_menu_grab_auto_stop_Click(Program& p) {
  stop_series(p, kGuidedSeriesStoppedMessage);
  set_status(p, kGuidedSeriesStoppedMessage);
}

}  // namespace stellacq
