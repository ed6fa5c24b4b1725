// Continuous shooting: open-ended, counted and guided series of light frames,
// and the two stop commands.
//
// One handler, exp_menu_grab_Click, runs the whole series: it sends the
// exposure time and binning once, then for every frame builds the header,
// exposes, downloads, optionally corrects and shows the frame, saves it into
// the save folder, runs the guiding step in a guided series, and waits,
// yielding, until the next start time. The interval runs from the start of
// one frame to the start of the next. The stop commands run inside those
// yields and only set the flags the loop tests.
//
// SeriesShooting owns the series state (series_running, frames_remaining,
// guiding_mode, interval, next_shot_text). It reads the shutter-speed and
// interval fields (Form1 Text5, Text6) through ShotFields,
// display_after_shooting, the settings save_in_series, save_folder,
// guide_dark_sub and guide_flat_sub, camera_connected; writes the status
// line.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "config/settings.h"
#include "core/clock.h"
#include "core/status_line.h"
#include "exposure/exposure_state.h"
#include "exposure/shot_fields.h"
#include "exposure/single.h"
#include "fits/header_tables.h"
#include "guiding/guide_lock.h"
#include "image/frame_display.h"

namespace stellacq {

inline constexpr const char* kSeriesShootingMessage = " 撮影しています ";
inline constexpr const char* kNextShotMessage = " 次の撮影待ち ";
// Follows the next-shot text while frames of a guided series went unguided
// (the reason is in the tracking status window): " 追尾できず 2枚".
inline constexpr const char* kUnguidedFramesMessage = " 追尾できず ";
inline constexpr const char* kNoSaveQuestion = "画像を保存しません";
inline constexpr const char* kCountPrompt = "撮影する枚数を入力して下さい";
inline constexpr const char* kCountTitle = "撮影枚数指定";
inline constexpr const char* kCountedSeriesDoneMessage = " 撮影終了";
inline constexpr const char* kSeriesStoppedMessage = " 撮影を停止しました";
inline constexpr const char* kGuidedSeriesStoppedMessage = " 撮影と追尾を停止しました";
inline constexpr const char* kBadCountMessage = "撮影枚数は1以上の整数で入力して下さい";
inline constexpr const char* kSeriesRunningMessage = " 連続撮影中です。連続撮影停止の後に開始して下さい";

// An open-ended series warns when the save folder has room for fewer frames
// than this.
inline constexpr int kOpenEndedRoomFrames = 10;

// How a series ended.
enum class SeriesEnd {
  NotStarted,  // a start check refused it, or the user cancelled at the start
  Done,        // a counted series took its frames
  Stopped,     // a stop command ended it
  Aborted,     // the user aborted a frame: ended as a stop ends it, the frame not saved
  Failed,      // the unit or the save failed; the status line says why
};

class SeriesShooting {
 public:
  // `timer_tick` runs the main window's timer at once, so that a counted
  // series shows its count before the first frame.
  SeriesShooting(Shooting& shooting, FrameDisplay& display, Guiding& guiding, const Settings& settings,
                 HeaderTables& headers, FileState& file, Clock& clock, StatusLine status, ShotFields& fields,
                 std::function<void()> timer_tick)
      : shooting_(shooting),
        display_(display),
        guiding_(guiding),
        settings_(settings),
        headers_(headers),
        file_(file),
        clock_(clock),
        ui_(status.ui),
        status_(status),
        fields_(fields),
        timer_tick_(std::move(timer_tick)) {}
  SeriesShooting(const SeriesShooting&) = delete;
  SeriesShooting& operator=(const SeriesShooting&) = delete;

  SeriesState& state() { return series_; }
  const SeriesState& state() const { return series_; }

  // Menu commands. exp_menu_grab_Click returns when the series has ended.
  SeriesEnd exp_menu_grab_Click();
  void exp_menu_grab_num_Click();
  void exp_menu_grab_auto_Click();
  void exp_menu_grab_stop_Click();
  void exp_menu_grab_auto_stop_Click();

  // Runs the main window's timer (the count shown at once).
  void timer_tick() {
    if (timer_tick_) timer_tick_();
  }

 private:
  SeriesEnd end_by_stop();
  void stop_series(const char* message);
  SeriesEnd end_by_abort();
  SeriesEnd end_by_failure();
  bool enough_room_or_agreed();
  std::optional<SeriesEnd> start_series();
  std::optional<SeriesEnd> shoot_frame();
  std::optional<SeriesEnd> wait_for_next_shot();
  bool no_series_running();
  void whole_interval_field();

  Shooting& shooting_;
  FrameDisplay& display_;
  Guiding& guiding_;
  const Settings& settings_;
  HeaderTables& headers_;
  FileState& file_;
  Clock& clock_;
  Interaction& ui_;
  StatusLine status_;
  ShotFields& fields_;
  std::function<void()> timer_tick_;
  SeriesState series_;
};

// The start of the next frame `interval` seconds after `now`. The interval
// counts in whole seconds (a fraction is dropped, a negative interval is 0).
struct NextShot {
  std::string text;     // hh:mm:ss, two digits each
  std::int64_t at = 0;  // seconds of local time (seconds_of_local_time)
};
NextShot next_shot(const LocalDateTime& now, double interval);

// Seconds from 1970-01-01 00:00:00 to `t`, read as a civil date and time
// without time zone: a continuous scale on which the next day follows 23:59:59.
std::int64_t seconds_of_local_time(const LocalDateTime& t);

// The frame count typed into the count box, read as a number: 0 (no
// series) for "0", an empty answer and a text that is not a number; the
// count for a whole number of 1 or more (at most 2^31-1); nothing for a
// fraction or a negative count, which would never count down to 0.
std::optional<int> frame_count_answer(const std::string& answer);

// Bytes of one series file of width x height: one header block and the
// 16-bit pixels, each part padded to whole 2880-byte blocks.
std::uintmax_t series_file_bytes(int width, int height);

// How many series files of `file_bytes` the disk of `folder` still takes;
// nothing when the folder's disk cannot be asked.
std::optional<std::uintmax_t> frames_with_room(const std::string& folder, std::uintmax_t file_bytes);

}  // namespace stellacq
