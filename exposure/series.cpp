#include "exposure/series.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <memory>
#include <system_error>

#include "camera/geometry.h"
#include "core/numeric.h"
#include "core/wait.h"
#include "exposure/download.h"
#include "exposure/single.h"
#include "fits/file_operations.h"
#include "fits/header_builder.h"
#include "guiding/guide_lock.h"
#include "image/frame_display.h"

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

// Ends the series after a stop command: the stop's message stays on the
// status line, whatever the steps after the stop wrote there.
SeriesEnd SeriesShooting::end_by_stop() {
  if (!series_.stop_message.empty() && status_.text != series_.stop_message)
    status_.show(series_.stop_message);
  return SeriesEnd::Stopped;
}

// Steps 1 and 2 shared by the two stop commands.
void SeriesShooting::stop_series(const char* message) {
  if (series_.guiding_mode == 1 && shooting_.state().display_after_shooting == 1) {
    guiding_.drop_lock();
    ui_.yield();
  }
  series_.guiding_mode = 0;
  series_.series_running = 0;
  series_.stop_message = message;
}

// Ends the series after the user aborted its frame, as the stop command
// would, the abort's message on the status line.
SeriesEnd SeriesShooting::end_by_abort() {
  stop_series(kShootingAbortedMessage);
  series_.frames_remaining = -1;
  end_by_stop();
  return SeriesEnd::Aborted;
}

// Ends the series on a failure that the failing step has reported.
SeriesEnd SeriesShooting::end_by_failure() {
  series_.series_running = 0;
  return SeriesEnd::Failed;
}

// Asks before a saving series when the save folder's disk cannot take the
// frames the series will take. False when the user cancels.
bool SeriesShooting::enough_room_or_agreed() {
  const FrameShape size = frame_shape(settings_.head_model, display_.state().frames.binning);
  const std::optional<std::uintmax_t> room =
      frames_with_room(settings_.save_folder, series_file_bytes(size.width, size.height));
  if (!room) return true;  // a missing folder is reported by the first save
  const std::uintmax_t needed = series_.frames_remaining > 0
                                    ? static_cast<std::uintmax_t>(series_.frames_remaining)
                                    : kOpenEndedRoomFrames;
  if (*room >= needed) return true;
  const std::string text = "保存先 " + settings_.save_folder + " のディスクの空きは、あと " +
                           std::to_string(*room) + " 枚分しかありません。\n撮影を始めますか";
  return ui_.message_box(text, {}, MessageButtons::OkCancel) == MessageAnswer::Ok;
}

// The steps before the first frame. Nothing when the series starts; how it
// ended otherwise: a refusal or the user's cancel does not start it, a unit
// that failed the time or binning exchange is a failure.
std::optional<SeriesEnd> SeriesShooting::start_series() {
  if (!shooting_.camera_connected()) {
    status_.show(kConnectCameraMessage);
    return SeriesEnd::NotStarted;
  }
  series_.series_running = 1;
  series_.stop_message.clear();
  const double t = fields_.shutter_seconds();
  if (t < 1) {
    status_.show(kShutterTooShortMessage);
    series_.series_running = 0;
    return SeriesEnd::NotStarted;
  }
  fields_.set_whole_shutter_seconds(int_floor(t));
  if (!send_time_and_binning(shooting_.camera(), shooting_.state(), fields_.shutter_seconds(),
                             display_.state().frames.binning, status_))
    return end_by_failure();
  const bool saving = number_or_zero(settings_.save_in_series) == 1;
  const bool agreed =
      saving ? enough_room_or_agreed()
             : ui_.message_box(kNoSaveQuestion, {}, MessageButtons::OkCancel) == MessageAnswer::Ok;
  if (!agreed) {
    series_.series_running = 0;
    return SeriesEnd::NotStarted;
  }
  return std::nullopt;
}

// One frame, from the start time to the status of the wait. Nothing when
// the series goes on.
std::optional<SeriesEnd> SeriesShooting::shoot_frame() {
  series_.interval = fields_.interval_seconds();
  const NextShot next = next_shot(clock_.local_now(), series_.interval);
  series_.next_shot_text = next.text;
  series_.next_shot_at = next.at;
  status_.show(kSeriesShootingMessage);
  ui_.yield();

  // The header is built right before the exposure command, so that it holds
  // this frame's start and the shutter-speed field as it is now.
  // The frame keeps the size it had then, whatever is loaded meanwhile.
  Frames& frames = display_.state().frames;
  make_light_header(headers_, shooting_.record_start(frames.light));
  const FrameShape shape{frames.light.width, frames.light.height};
  FrameAbort& abort = shooting_.state().abort;
  abort.reset();
  if (!expose_frame(shooting_.camera(), status_, FrameKind::Light, &abort))
    return abort.dropped ? end_by_abort() : end_by_failure();
  // A stop given before the exposure lets the exposure run to its end; its
  // frame stays in the unit.
  if (series_.series_running == 0) return end_by_stop();
  const Frame* const taken =
      download_frame(shooting_.camera(), frames, status_, FrameKind::Light, shape, &abort);
  if (!taken) return abort.dropped ? end_by_abort() : end_by_failure();

  const bool shown = shooting_.state().display_after_shooting == 1;
  if (shown) {
    // Both corrections rewrite the light frame in place, so the saved file
    // holds the corrected counts.
    if (settings_.guide_dark_sub == 1) display_.image_menu_display_dark_sub_Click();
    if (settings_.guide_flat_sub == 1) display_.image_menu_display_flat_sub_Click();
    display_.image_menu_display_auto_Click();
  }
  ui_.yield();

  // A flat field loaded while the frame was shown gives the light frame the
  // flat's size; the file still holds the whole frame as it was taken.
  std::unique_ptr<Frame> as_taken;
  if (taken->width != shape.width || taken->height != shape.height) {
    as_taken = std::make_unique<Frame>(*taken);
    as_taken->width = shape.width;
    as_taken->height = shape.height;
  }
  const Frame& frame = as_taken ? *as_taken : *taken;
  if (!series_save(frame, headers_.light_header, file_, settings_, clock_.local_now(), status_))
    return end_by_failure();
  if (series_.series_running == 0) return end_by_stop();
  if (series_.guiding_mode == 1) guiding_.guiding_step(shooting_.state().display_after_shooting == 1);

  if (series_.series_running == 1) {
    std::string text = kNextShotMessage + series_.next_shot_text;
    // A guiding failure must not vanish under the next-shot text.
    const int unguided = guiding_.state().unguided_frames;
    if (unguided > 0) text += kUnguidedFramesMessage + std::to_string(unguided) + "枚";
    status_.show(text);
  }
  if (series_.frames_remaining > 0) --series_.frames_remaining;
  return std::nullopt;
}

// The wait for the next start time: ends the series at a stop or when a
// counted series is done; starts the next frame at the start time, or at
// once when the interval field holds 0.
std::optional<SeriesEnd> SeriesShooting::wait_for_next_shot() {
  const WaitEnd end = wait_until(
      ui_,
      [&] {
        return fields_.interval_seconds() == 0 ||
               seconds_of_local_time(clock_.local_now()) >= series_.next_shot_at;
      },
      [&] { return series_.series_running == 0 || series_.frames_remaining == 0; });
  if (end == WaitEnd::Reached) return std::nullopt;
  if (series_.series_running == 0) return end_by_stop();
  series_.series_running = 0;
  return SeriesEnd::Done;
}

// Whether a series may start now; one series runs at a time.
bool SeriesShooting::no_series_running() {
  if (series_.series_running == 0) return true;
  status_.show(kSeriesRunningMessage);
  return false;
}

// The interval field as whole seconds with a leading blank.
void SeriesShooting::whole_interval_field() {
  fields_.set_whole_interval_seconds(int_floor(fields_.interval_seconds()));
}

SeriesEnd SeriesShooting::exp_menu_grab_Click() {
  if (!no_series_running()) return SeriesEnd::NotStarted;
  if (const std::optional<SeriesEnd> refused = start_series()) return *refused;
  for (;;) {
    if (const std::optional<SeriesEnd> end = shoot_frame()) return *end;
    if (const std::optional<SeriesEnd> end = wait_for_next_shot()) return *end;
  }
}

void SeriesShooting::exp_menu_grab_num_Click() {
  if (!no_series_running()) return;
  series_.guiding_mode = 0;
  whole_interval_field();
  const std::optional<int> n = frame_count_answer(ui_.input_box(kCountPrompt, kCountTitle, ""));
  if (!n) {
    ui_.message_box(kBadCountMessage, {}, MessageButtons::Ok);
    series_.frames_remaining = -1;
    return;
  }
  if (*n == 0) {
    series_.frames_remaining = -1;
    return;
  }
  series_.frames_remaining = *n;
  timer_tick();  // shows the count at once
  ui_.yield();
  const SeriesEnd end = exp_menu_grab_Click();
  series_.frames_remaining = -1;
  // A failure and an abort keep their message on the status line.
  if (end != SeriesEnd::Failed && end != SeriesEnd::Aborted) status_.show(kCountedSeriesDoneMessage);
}

void SeriesShooting::exp_menu_grab_auto_Click() {
  if (!no_series_running()) return;
  series_.guiding_mode = 1;
  whole_interval_field();
  exp_menu_grab_Click();
  // However the series ended, a later plain series does not guide.
  series_.guiding_mode = 0;
}

void SeriesShooting::exp_menu_grab_stop_Click() {
  stop_series(kSeriesStoppedMessage);
  series_.frames_remaining = -1;
  status_.show(kSeriesStoppedMessage);
}

void SeriesShooting::exp_menu_grab_auto_stop_Click() {
  stop_series(kGuidedSeriesStoppedMessage);
  status_.show(kGuidedSeriesStoppedMessage);
}

}  // namespace stellacq
