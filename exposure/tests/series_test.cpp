// Continuous shooting on the simulated observatory with the manual clock:
// every pass of a wait moves the clock one second, so the pacing, the
// midnight rule and the stop points run without real time passing.
#include "exposure/series.h"

#include <gtest/gtest.h>
#include <sys/mount.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "exposure/download.h"
#include "fits/header_tables.h"
#include "fits/reader.h"
#include "test_support/world.h"

namespace stellacq {
namespace {

namespace fs = std::filesystem;
using Strings = std::vector<std::string>;
using testing::advance;
using testing::folder_names;

class Series : public ::testing::Test {
 protected:
  Series() {
    w.connect_tx11();
    w.p.settings.save_in_series = 1;
    w.p.settings.save_folder = dir.path();
    w.p.form.Text5 = "1";
    w.p.form.Text6 = "2";
    w.clock.now_value = {2026, 3, 7, 21, 30, 5};
    w.ui.on_idle = [this] {
      advance(w.clock.now_value, 1);
      // A series that should have ended fails the test instead of hanging.
      if (w.sent("V") >= kMostFrames && w.p.series.state().series_running == 1) {
        ADD_FAILURE() << "the series did not end";
        w.p.series.exp_menu_grab_stop_Click();
      }
    };
  }
  int statuses_starting(const std::string& prefix) const { return testing::statuses_starting(w.ui, prefix); }
  // Runs `action` once, at the first yield after the `nth` status line
  // (from 1) that starts with `prefix` was written, as a click would.
  void at_yield(const std::string& prefix, int nth, std::function<void()> action) {
    w.ui.on_yield = [this, prefix, nth, action, done = false]() mutable {
      if (done || w.ui.statuses.empty() || !w.ui.last_status().starts_with(prefix)) return;
      if (statuses_starting(prefix) == nth) done = true, action();
    };
  }

  static constexpr int kMostFrames = 50;
  testing::ScratchDir dir;
  testing::SimWorld w;
};

// A count of 3: the tick shows the count at once, the count goes 3, 2, 1, 0
// and is -1 afterwards; the status line of each frame in order, the
// interval field rewritten as whole seconds, three exposures, three files,
// three frames shown and " 撮影終了" at the end.
TEST_F(Series, ACountOfThreeTakesThreeFrames) {
  w.ui.input_answers = {"3"};
  w.p.form.Text6 = "2.7";
  std::vector<int> counts;
  std::string first_line;
  w.ui.on_yield = [&] {
    if (first_line.empty()) first_line = w.p.form.Text1;
    if (counts.empty() || counts.back() != w.p.series.state().frames_remaining)
      counts.push_back(w.p.series.state().frames_remaining);
  };
  w.p.series.exp_menu_grab_num_Click();
  counts.push_back(w.p.series.state().frames_remaining);

  EXPECT_EQ(counts, (std::vector<int>{3, 2, 1, 0, -1}));
  EXPECT_EQ(first_line, "2026-03-07 21:30:05 残り 3枚");
  EXPECT_EQ(w.p.form.Text6, " 2");
  ASSERT_EQ(w.ui.inputs.size(), 1u);
  EXPECT_EQ(std::tie(w.ui.inputs[0].prompt, w.ui.inputs[0].title),
            std::tie("撮影する枚数を入力して下さい", "撮影枚数指定"));
  EXPECT_EQ(w.traffic().commands,
            (Strings{"T", "S 1000", "N 2 2", "V", "X", "U", "V", "X", "U", "V", "X", "U"}));
  EXPECT_EQ(folder_names(dir.path()), (Strings{"07213005.FIT", "07213007.FIT", "07213009.FIT"}));
  ASSERT_EQ(w.ui.statuses.size(), 3 * 7 + 1u);
  EXPECT_EQ(Strings(w.ui.statuses.begin() + 7, w.ui.statuses.begin() + 14),
            (Strings{" 撮影しています ", " 露出中", " ダウンロード中", " ダウンロード完了",
                     " ライトフレーム保存中", " ファイル保存終了", " 次の撮影待ち 21:30:09"}));
  EXPECT_EQ(w.ui.last_status(), " 撮影終了");
  EXPECT_EQ(w.ui.picture_updates, 3);  // shown after shooting
  EXPECT_EQ(w.p.series.state().series_running, 0);
}

TEST(NextShot, AddsTheIntervalToTheTimeOfDay) {
  struct Case {
    LocalDateTime now;
    double interval;
    const char* text;
    std::int64_t later;  // seconds after now
  };
  const Case cases[] = {
      {{2026, 3, 7, 10, 58, 50}, 125, "11:00:55", 125},   {{2026, 3, 7, 23, 59, 55}, 10, "00:00:05", 10},
      {{2026, 3, 7, 22, 0, 0}, 90000, "23:00:00", 90000},  // a day and an hour
      {{2026, 3, 7, 9, 0, 0}, 2.9, "09:00:02", 2},        {{2026, 3, 7, 9, 0, 0}, -5, "09:00:00", 0},
  };
  for (const Case& c : cases) {
    const NextShot next = next_shot(c.now, c.interval);
    EXPECT_EQ(next.text, c.text) << c.interval;
    EXPECT_EQ(next.at - seconds_of_local_time(c.now), c.later) << c.interval;
  }
  // The next day follows the last second of the month.
  EXPECT_EQ(seconds_of_local_time({2026, 4, 1, 0, 0, 0}) - seconds_of_local_time({2026, 3, 31, 23, 59, 59}),
            1);
}

// Two frames: where the second one starts, counted in passes of the wait
// (one clock second each; the count then ends the series after one more
// pass). `frame_seconds` is how long each frame takes.
TEST_F(Series, PacingFromStartToStart) {
  struct Case {
    LocalDateTime start;
    const char* interval;
    int frame_seconds;
    const char* next_shot;  // after the first frame
    int passes;             // of the wait before the second frame
    Strings files;
  };
  const Case cases[] = {
      {{2026, 3, 7, 21, 30, 5}, "0", 0, "21:30:05", 1, {"07213005.FIT", "07213006.FIT"}},
      // Waits through 23:59:59 and starts at 00:00:05 of the next day.
      {{2026, 3, 7, 23, 59, 55}, "10", 0, "00:00:05", 10, {"07235955.FIT", "08000005.FIT"}},
      // A frame longer than the interval: the next one starts at once, also
      // when the frame ends after midnight.
      {{2026, 3, 7, 21, 30, 5}, "2", 5, "21:30:07", 1, {"07213010.FIT", "07213016.FIT"}},
      {{2026, 3, 7, 23, 59, 50}, "5", 15, "23:59:55", 1, {"08000005.FIT", "08000021.FIT"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.next_shot);
    for (const std::string& name : folder_names(dir.path())) fs::remove(dir.file(name));
    w.clock.now_value = c.start;
    w.p.form.Text6 = c.interval;
    w.ui.idles = 0;
    w.ui.input_answers = {"2"};
    // The clock moves on during the exposure, before the download.
    int exposures_timed = 0;
    w.ui.on_yield = [&] {
      const int exposures = w.sent("V");
      if (exposures > exposures_timed) advance(w.clock.now_value, c.frame_seconds);
      exposures_timed = exposures;
    };
    w.traffic().clear();
    w.p.series.exp_menu_grab_num_Click();
    EXPECT_EQ(w.sent("V"), 2);
    EXPECT_EQ(w.ui.idles, c.passes + 1);
    EXPECT_EQ(folder_names(dir.path()), c.files);
    EXPECT_TRUE(std::find(w.ui.statuses.begin(), w.ui.statuses.end(),
                          std::string(" 次の撮影待ち ") + c.next_shot) != w.ui.statuses.end());
  }
}

// A stop at each point of a frame. The exposure already sent runs to its
// end; its download is skipped. A second click of the stop changes nothing.
TEST_F(Series, StopsTakeEffectAtTheirPoints) {
  struct Case {
    const char* at;  // the status of the yield the stop is clicked in
    int nth;
    bool guided;
    int exposures, downloads, files, guiding_steps;
    bool shown = true;  // display after shooting
  };
  const Case cases[] = {
      {" 次の撮影待ち", 1, false, 1, 1, 1, 0},          // during the wait
      {" 撮影しています ", 2, false, 2, 1, 1, 0},       // before the second exposure
      {" ライトフレーム保存中", 2, false, 2, 2, 2, 0},  // during the save: the frame is kept
      {" 追尾中", 2, true, 2, 2, 2, 2},                 // during the guiding step
      {" 追尾中", 2, true, 2, 2, 2, 2, false},          // the same with no frames shown
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.at);
    for (const std::string& name : folder_names(dir.path())) fs::remove(dir.file(name));
    w.ui.statuses.clear();
    w.p.guide.guide_locked = 1;
    w.p.exposure.display_after_shooting = c.shown ? 1 : 0;
    const char* const stopped = c.guided ? " 撮影と追尾を停止しました" : " 撮影を停止しました";
    at_yield(c.at, c.nth, [&] {
      for (int i = 0; i < 2; ++i)
        c.guided ? w.p.series.exp_menu_grab_auto_stop_Click() : w.p.series.exp_menu_grab_stop_Click();
    });
    w.traffic().clear();
    const SeriesEnd end = c.guided ? (w.p.series.exp_menu_grab_auto_Click(), SeriesEnd::Stopped)
                                   : w.p.series.exp_menu_grab_Click();
    EXPECT_EQ(end, SeriesEnd::Stopped);
    EXPECT_EQ(w.sent("V"), c.exposures);
    EXPECT_EQ(w.sent("U"), c.downloads);
    EXPECT_EQ(static_cast<int>(folder_names(dir.path()).size()), c.files);
    EXPECT_EQ(statuses_starting(" 追尾中"), c.guiding_steps);
    EXPECT_EQ(w.ui.last_status(), stopped);
    EXPECT_EQ(std::tie(w.p.series.state().series_running, w.p.series.state().guiding_mode), std::tuple(0, 0));
    // The guided stop clears the marker, and only where frames are shown.
    EXPECT_EQ(w.p.guide.guide_locked, c.guided && c.shown ? 0 : 1);
  }
}

// An abort in the download of the second frame ends a counted series as a
// stop would, without saving that frame; the abort's message stays.
TEST_F(Series, AnAbortedFrameEndsTheSeriesUnsaved) {
  w.ui.input_answers = {"3"};
  w.ui.on_progress = [this] {
    if (w.sent("V") == 2 && w.ui.progress.back().kind == ExchangeKind::Download)
      w.p.exposure.abort.token.request();
  };
  w.p.series.exp_menu_grab_num_Click();
  EXPECT_EQ(w.sent("V"), 2);
  EXPECT_EQ(folder_names(dir.path()).size(), 1u);
  EXPECT_EQ(w.ui.last_status(), " 撮影を中止しました");
  EXPECT_EQ(std::tie(w.p.series.state().series_running, w.p.series.state().frames_remaining),
            std::tuple(0, -1));
}

// The wait reads the interval field as it is now: an interval cleared to 0
// during the wait starts the next frame at once.
TEST_F(Series, TheWaitFollowsTheIntervalField) {
  w.p.form.Text6 = "100";
  w.ui.input_answers = {"2"};
  at_yield(" 次の撮影待ち", 1, [&] { w.p.form.Text6 = "0"; });
  w.p.series.exp_menu_grab_num_Click();
  EXPECT_EQ(folder_names(dir.path()), (Strings{"07213005.FIT", "07213006.FIT"}));
}

// With display after shooting, dark subtraction and flat correction during
// a guided series rewrite the frame before it is saved and measured. A dark
// of 65535 leaves at most the pedestal of 100 in every pixel; a flat of 1
// with a mean of 1000 multiplies every count by 1000, beyond what a file
// holds.
TEST_F(Series, CorrectionsReachTheFileAndTheGuidingMeasurement) {
  struct Case {
    bool dark, flat;
    int file_min, file_max;
    std::int64_t least_star_sum, most_star_sum;
  };
  const Case cases[] = {
      {true, false, 0, 100, 0, 25 * 100},
      {false, true, 65535, 65535, std::int64_t{25} * 65536, std::numeric_limits<std::int64_t>::max()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.dark ? "dark" : "flat");
    for (const std::string& name : folder_names(dir.path())) fs::remove(dir.file(name));
    w.ui.statuses.clear();
    Frames& f = w.p.frames;
    testing::fill(f.dark, kFrameColumns, kFrameRows, 65535);
    testing::fill(f.flat, kFrameColumns, kFrameRows, 1);
    f.dark.width = 384, f.dark.height = 256;
    f.flat_loaded = 1, f.flat_mean = 1000;
    w.p.settings.guide_dark_sub = c.dark ? 1 : 0;
    w.p.settings.guide_flat_sub = c.flat ? 1 : 0;
    w.p.settings.search_span = 10;
    w.p.settings.aperture = 2;
    w.p.exposure.display_after_shooting = 1;
    w.p.guide.guide_locked = 1;
    w.p.guide.guide_x = 190, w.p.guide.guide_y = 120;
    at_yield(" 次の撮影待ち", 1, [&] { w.p.series.exp_menu_grab_auto_stop_Click(); });
    w.p.series.exp_menu_grab_auto_Click();

    const Strings files = folder_names(dir.path());
    ASSERT_EQ(files.size(), 1u);
    HeaderTables headers;
    auto saved = std::make_unique<Frames>();
    ASSERT_FALSE(read_fits_frame(dir.file(files[0]), kOpenLight, headers, *saved));
    ASSERT_EQ(std::tie(saved->light.width, saved->light.height), std::tuple(384, 256));
    EXPECT_EQ(std::pair(saved->light.min, saved->light.max), std::pair(c.file_min, c.file_max));
    EXPECT_GE(w.p.guide.star_sum, c.least_star_sum);
    EXPECT_LE(w.p.guide.star_sum, c.most_star_sum);
  }
}

// A step that cannot open the mount's line leaves the frame unguided; the
// next-shot text keeps saying so, counting, until a step guides again.
TEST_F(Series, UnguidedFramesStayOnTheNextShotText) {
  w.p.settings.com_port = 0;  // no line to open
  w.ui.on_yield = [&, stopped = false]() mutable {
    if (stopped || w.ui.statuses.empty() || !w.ui.last_status().starts_with(" 次の撮影待ち")) return;
    const int waits = statuses_starting(" 次の撮影待ち");
    if (waits == 2) w.p.settings.com_port = 1;
    if (waits == 3) stopped = true, w.p.series.exp_menu_grab_auto_stop_Click();
  };
  w.p.series.exp_menu_grab_auto_Click();
  Strings waits;
  for (const std::string& s : w.ui.statuses)
    if (s.starts_with(" 次の撮影待ち")) waits.push_back(s.substr(s.find(':') + 6));
  EXPECT_EQ(waits, (Strings{" 追尾できず 1枚", " 追尾できず 2枚", ""}));
}

// Refusals at the start: nothing is exposed, and a later series can start
// (without the camera, ProgramShooting.WithoutTheCameraTheCountdownsStillRun).
TEST_F(Series, StartChecksAndTheNoSaveQuestion) {
  struct Case {
    const char* shutter;
    double save;
    MessageAnswer answer;
    Strings commands;
    const char* status;
  };
  const Case cases[] = {
      {"0.9", 1, MessageAnswer::Ok, {}, " シャッター時間は1sec以上"},
      {"1", 0, MessageAnswer::Cancel, {"S 1000", "N 2 2"}, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.shutter);
    w.p.form.Text5 = c.shutter;
    w.p.settings.save_in_series = c.save;
    w.ui.box_answers = {c.answer};
    w.ui.boxes.clear();
    w.ui.statuses.clear();
    w.traffic().clear();
    EXPECT_EQ(w.p.series.exp_menu_grab_Click(), SeriesEnd::NotStarted);
    EXPECT_EQ(w.traffic().commands, c.commands);
    EXPECT_EQ(w.ui.statuses.empty() ? "" : w.ui.last_status(), c.status);
    EXPECT_EQ(w.ui.boxes.size(), c.save == 0 ? 1u : 0u);
    if (c.save == 0) {
      EXPECT_EQ(w.ui.boxes[0].text, "画像を保存しません");
    }
    EXPECT_EQ(w.p.series.state().series_running, 0);
  }
  // Saving off and OK: the series runs and writes nothing.
  w.ui.box_answers.clear();
  w.ui.input_answers = {"2"};
  w.p.series.exp_menu_grab_num_Click();
  EXPECT_EQ(w.sent("V"), 2);
  EXPECT_TRUE(folder_names(dir.path()).empty());
  EXPECT_EQ(w.p.file.file_mode, 1);
}

TEST_F(Series, FrameCountAnswers) {
  const std::pair<const char*, std::optional<int>> cases[] = {
      {"", 0},
      {"0", 0},
      {"abc", 0},
      {"3", 3},
      {" 3 ", 3},
      {"2.0", 2},
      {"2.5", std::nullopt},
      {"-2", std::nullopt},
      {"3000000000", 2147483647},
  };
  for (const auto& [answer, n] : cases) EXPECT_EQ(frame_count_answer(answer), n) << answer;
  // A refused answer says so and starts nothing; 0 only starts nothing.
  w.ui.input_answers = {"-3", "0"};
  w.p.series.exp_menu_grab_num_Click();
  w.p.series.exp_menu_grab_num_Click();
  EXPECT_TRUE(w.traffic().commands.empty());
  ASSERT_EQ(w.ui.boxes.size(), 1u);
  EXPECT_EQ(w.ui.boxes[0].text, "撮影枚数は1以上の整数で入力して下さい");
  EXPECT_EQ(w.p.series.state().frames_remaining, -1);
}

// A frame saved by another program under this frame's name while this one
// is written is kept; this frame takes the next suffix.
TEST_F(Series, AFileThatAppearsDuringTheSaveIsKept) {
  w.ui.input_answers = {"1"};
  at_yield(" ライトフレーム保存中", 1, [&] { std::ofstream(dir.file("07213005.FIT")) << "other"; });
  w.p.series.exp_menu_grab_num_Click();
  EXPECT_EQ(folder_names(dir.path()), (Strings{"07213005.FIT", "07213005_1.FIT"}));
  EXPECT_EQ(testing::file_bytes(dir.file("07213005.FIT")), "other");
  EXPECT_EQ(w.p.file.save_file_name, dir.file("07213005_1.FIT"));
  EXPECT_EQ(w.ui.last_status(), " 撮影終了");
}

// A start command given while a series runs (in its wait) changes nothing.
TEST_F(Series, OneSeriesAtATime) {
  w.ui.input_answers = {"2", "5"};
  at_yield(" 次の撮影待ち", 1, [&] {
    w.p.series.exp_menu_grab_num_Click();
    w.p.series.exp_menu_grab_auto_Click();
    w.p.series.exp_menu_grab_Click();
  });
  w.p.series.exp_menu_grab_num_Click();
  EXPECT_EQ(w.sent("V"), 2);
  EXPECT_EQ(w.ui.inputs.size(), 1u);
  EXPECT_EQ(statuses_starting(" 連続撮影中です"), 3);
  EXPECT_EQ(w.ui.last_status(), " 撮影終了");
}

// The disk warning before a saving series counts the frames the folder's
// disk still takes; Cancel starts nothing.
TEST_F(Series, WarnsWhenTheDiskTakesFewerFrames) {
  const std::uintmax_t file = series_file_bytes(384, 256);
  const std::uintmax_t room = *frames_with_room(dir.path(), file);
  EXPECT_EQ(frames_with_room(dir.file("missing"), file), std::nullopt);

  // The disk is shared with whatever else runs: ask for well over what it
  // takes, and read the count the box gives against the one measured here.
  w.ui.input_answers = {std::to_string(room + room / 10 + 100)};
  w.ui.box_answers = {MessageAnswer::Cancel};
  w.p.series.exp_menu_grab_num_Click();
  ASSERT_EQ(w.ui.boxes.size(), 1u);
  EXPECT_EQ(w.ui.boxes[0].buttons, MessageButtons::OkCancel);
  const std::string& text = w.ui.boxes[0].text;
  const std::size_t at = text.find("あと ");
  ASSERT_NE(at, std::string::npos) << text;
  EXPECT_NE(text.find(" 枚分", at), std::string::npos) << text;
  EXPECT_NEAR(std::stod(text.substr(at + std::string("あと ").size())), static_cast<double>(room),
              static_cast<double>(room / 20 + 10));
  EXPECT_EQ(w.sent("V"), 0);
}

// A garbled size reply in the middle of a series: the frame is neither
// shown nor saved, and the series ends with the reason on the status line.
TEST_F(Series, AGarbledSizeReplyStopsTheSeriesWithoutSaving) {
  w.ui.input_answers = {"3"};
  at_yield(" ファイル保存終了", 1, [this] { w.unit().options().size_reply = "384 0"; });
  w.p.series.exp_menu_grab_num_Click();
  EXPECT_EQ(w.sent("V"), 2);
  EXPECT_EQ(folder_names(dir.path()), (Strings{"07213005.FIT"}));
  EXPECT_EQ(w.ui.last_status(), short_frame_text(0, 384 * 256));
  EXPECT_EQ(w.ui.picture_updates, 1);
}

// A flat loaded while the second frame comes in (a 4 x 4 flat sets the
// light frame's size to its own) does not shrink the saved frame.
TEST_F(Series, AFlatLoadedAroundTheDownloadDoesNotShrinkTheSavedFrame) {
  // A flat load gives the light frame the flat's size: before the second
  // frame's transfer, and after the third's while it is shown.
  w.ui.input_answers = {"3"};
  const auto load_flat = [this] {
    Frames& f = w.p.frames;
    f.light.width = f.light.height = 4;
    testing::fill(f.flat, 4, 4, 1000);
    f.flat_loaded = 1;
  };
  w.ui.on_yield = [&, loads = 0]() mutable {
    const std::string& now = w.ui.statuses.empty() ? "" : w.ui.last_status();
    if ((loads == 0 && now == kDownloadingMessage && statuses_starting(now) == 2) ||
        (loads == 1 && now == kDownloadDoneMessage && statuses_starting(now) == 3))
      ++loads, load_flat();
  };
  w.p.series.exp_menu_grab_num_Click();
  const Strings files = folder_names(dir.path());
  ASSERT_EQ(files.size(), 3u);
  for (const std::string& name : files)
    EXPECT_EQ(fs::file_size(dir.file(name)), fs::file_size(dir.file(files[0])));
}

// A full disk: the frames saved before stay whole, the frame that does not
// fit is named with the reason, and the series ends. Needs a small tmpfs.
TEST_F(Series, AFullDiskStopsTheSeriesInOrder) {
  // Room for two 384 x 256 frames (50 pages each), not for three.
  if (::mount("tmpfs", dir.path().c_str(), "tmpfs", 0, "size=440k") != 0)
    GTEST_SKIP() << "cannot mount a tmpfs here";
  struct Unmount {
    std::string path;
    ~Unmount() { ::umount(path.c_str()); }
  } unmount{dir.path()};

  w.ui.input_answers = {"5"};
  w.p.series.exp_menu_grab_num_Click();
  EXPECT_EQ(w.sent("V"), 3);
  const Strings files = folder_names(dir.path());
  EXPECT_EQ(files, (Strings{"07213005.FIT", "07213007.FIT"}));
  for (const std::string& f : files) {
    const std::string bytes = testing::file_bytes(dir.file(f));
    EXPECT_EQ(bytes.size(), series_file_bytes(384, 256)) << f;
    EXPECT_EQ(bytes.substr(0, 9), "SIMPLE  =") << f;
  }
  const std::string lost = dir.file("07213009.FIT");
  ASSERT_EQ(w.ui.boxes.size(), 2u);  // the room warning, then the failed save
  EXPECT_NE(w.ui.boxes[0].text.find("あと 2 枚分"), std::string::npos);
  EXPECT_NE(w.ui.boxes[1].text.find(lost), std::string::npos);
  EXPECT_NE(w.ui.boxes[1].text.find("No space left on device"), std::string::npos);
  EXPECT_EQ(w.ui.last_status(), " 連続撮影の画像を保存できません : " + lost);
  EXPECT_EQ(std::tie(w.p.series.state().series_running, w.p.series.state().frames_remaining),
            std::tuple(0, -1));
}

}  // namespace
}  // namespace stellacq
