// Program shooting on the simulated observatory with the manual clock: the
// checks and the stored program, the repeated series, the countdown by
// changes of the clock's second, and cancel at each phase.
#include "exposure/program_shooting.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

#include "config/ini_file.h"
#include "exposure/series.h"
#include "test_support/world.h"

namespace stellacq {
namespace {

using Strings = std::vector<std::string>;

class ProgramShooting : public ::testing::Test {
 protected:
  ProgramShooting() {
    w.connect_tx11();
    w.p.settings.save_in_series = 1;
    w.p.settings.save_folder = dir.file("frames");
    std::filesystem::create_directory(w.p.settings.save_folder);
    w.p.ini_path = dir.file("STELLACQ.INI");
    w.clock.now_value = {2026, 3, 7, 21, 30, 5};
    // Every pass of a wait is one second of the clock.
    w.ui.on_idle = [this] {
      testing::advance(w.clock.now_value, 1);
      // A program that should have ended fails the test instead of hanging.
      if (exposures() >= 50 && w.p.series.state().series_running == 1) {
        ADD_FAILURE() << "the program did not end";
        w.p.program_shooting.cancel_program();
        w.p.series.exp_menu_grab_stop_Click();
      }
    };
  }
  int exposures() { return w.sent("V"); }
  // The status lines of the program itself: the countdown and the end.
  Strings program_statuses() const {
    Strings out;
    for (const std::string& s : w.ui.statuses)
      if (s.starts_with(" 待ち時間") || s == " プログラム撮影終了" || s == " 撮影しています ")
        out.push_back(s);
    return out;
  }

  testing::ScratchDir dir;
  testing::SimWorld w;
};

TEST_F(ProgramShooting, RepeatOnceRunsOneSeriesWithoutCountdown) {
  EXPECT_TRUE(w.p.program_shooting.run_program({"2.5", "3", "2", "1", "5"}));
  EXPECT_EQ(exposures(), 2);  // its status lines are the tail of RepeatTwice's
  // The fields went to the main window; the series took whole seconds.
  EXPECT_EQ(w.p.form.Text5, " 2");
  EXPECT_EQ(w.p.form.Text6, "3");
  EXPECT_EQ(w.traffic().commands[1], "S 2000");
  // The program is stored and written.
  const Settings& s = w.p.settings;
  EXPECT_EQ(
      std::tie(*s.program_shutter, *s.program_interval, *s.program_count, *s.program_repeat, *s.program_wait),
      std::tuple(2.5, 3.0, 2.0, 1.0, 5.0));
  EXPECT_EQ(testing::file_bytes(w.p.ini_path), settings_file_text(s));
  EXPECT_EQ(std::tie(w.p.series.state().frames_remaining, w.p.series.state().program_running),
            std::tuple(-1, 0));
}

TEST_F(ProgramShooting, RepeatTwiceCountsTheWaitDownBySecondChanges) {
  EXPECT_TRUE(w.p.program_shooting.run_program({"1", "0", "2", "2", "3"}));
  EXPECT_EQ(exposures(), 4);
  EXPECT_EQ(program_statuses(), (Strings{" 撮影しています ", " 撮影しています ", " 待ち時間", " 待ち時間 2秒",
                                         " 待ち時間 1秒", " 待ち時間 0秒", " 撮影しています ",
                                         " 撮影しています ", " 待ち時間", " プログラム撮影終了"}));
  // Each step of the countdown waited for one change of the second.
  EXPECT_EQ(std::pair(w.clock.now_value.minute, w.clock.now_value.second), std::pair(30, 5 + 2 + 3 + 2));
}

// The first field that fails its check is named. A refused program stores
// nothing, the settings file keeps its bytes and nothing reaches the unit.
TEST_F(ProgramShooting, FieldChecksInOrder) {
  const std::pair<ProgramFields, const char*> cases[] = {
      {{"0.5", "0", "2", "1", "0"}, "シャッター速度を設定して下さい"},
      {{"1", "-1", "0", "0", "-1"}, "撮影間隔を設定して下さい"},
      {{"1", "0", "0", "0", "-1"}, "撮影枚数を設定して下さい"},
      {{"1", "0", "2.5", "1", "0"}, "撮影枚数を設定して下さい"},
      {{"1", "0", "2", "1.5", "0"}, "繰り返し回数を設定して下さい"},
      {{"1", "0", "2", "1", "-0.1"}, "待ち時間を設定して下さい"},
      {{"1", "0", "2", "1", ""}, ""},  // an empty wait reads as 0
  };
  for (const auto& [fields, message] : cases)
    EXPECT_EQ(check_program_fields(fields).message, message) << message;

  std::ofstream(w.p.ini_path, std::ios::binary) << settings_file_text(w.p.settings);
  const std::string ini = testing::file_bytes(w.p.ini_path);
  const Settings before = w.p.settings;
  EXPECT_TRUE(w.p.program_shooting.run_program(cases[4].first));
  ASSERT_EQ(w.ui.boxes.size(), 1u);
  EXPECT_EQ(w.ui.boxes[0].text, cases[4].second);
  EXPECT_EQ(w.ui.last_status(), " プログラム撮影終了");
  EXPECT_EQ(testing::file_bytes(w.p.ini_path), ini);
  EXPECT_EQ(w.p.settings, before);
  EXPECT_TRUE(w.traffic().commands.empty());
}

// Cancel at each phase: the program ends at its next test of
// program_running. Cancelled during a series, that series becomes uncounted
// and runs on until it is stopped from the menu.
TEST_F(ProgramShooting, CancelAtEachPhase) {
  struct Case {
    const char* at;  // the status line the cancel button is pressed after
    int exposures;
    Strings tail;  // the program's last status lines
  };
  const Case cases[] = {
      {" 待ち時間", 2, {" 待ち時間", " プログラム撮影終了"}},
      {" 待ち時間 0秒", 2, {" 待ち時間 0秒", " プログラム撮影終了"}},
      {" 次の撮影待ち", 4, {" 撮影しています ", " プログラム撮影終了"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.at);
    w.ui.statuses.clear();
    w.traffic().clear();
    w.ui.on_yield = [&] {
      const std::string& last = w.ui.last_status();
      if (last.starts_with(c.at) && w.p.series.state().program_running == 1)
        w.p.program_shooting.cancel_program();
      // The uncounted series is stopped from the menu in the fourth wait.
      if (last.starts_with(" 次の撮影待ち") && testing::statuses_starting(w.ui, " 次の撮影待ち") == 4 &&
          w.p.series.state().series_running == 1)
        w.p.series.exp_menu_grab_stop_Click();
    };
    EXPECT_TRUE(w.p.program_shooting.run_program({"1", "0", "2", "3", "3"}));
    EXPECT_EQ(exposures(), c.exposures);
    const Strings statuses = program_statuses();
    ASSERT_GE(statuses.size(), 2u);
    EXPECT_EQ(Strings(statuses.end() - 2, statuses.end()), c.tail);
    EXPECT_EQ(std::tie(w.p.series.state().frames_remaining, w.p.series.state().program_running),
              std::tuple(-1, 0));
  }
}

// Without a connection every series ends at once with its message, and the
// program still counts down between them.
TEST_F(ProgramShooting, WithoutTheCameraTheCountdownsStillRun) {
  w.p.link.camera_connected = 0;
  EXPECT_TRUE(w.p.program_shooting.run_program({"1", "0", "2", "2", "1"}));
  EXPECT_EQ(w.ui.statuses, (Strings{" ＴＸ－１１の接続をして下さい", " 待ち時間", " 待ち時間 0秒",
                                    " ＴＸ－１１の接続をして下さい", " 待ち時間", " プログラム撮影終了"}));
  EXPECT_TRUE(w.traffic().commands.empty());
}

// A failed save ends the whole program: the next series would fail the
// same way after its first exposure.
TEST_F(ProgramShooting, AFailedSaveEndsTheProgram) {
  std::filesystem::remove(w.p.settings.save_folder);
  EXPECT_TRUE(w.p.program_shooting.run_program({"1", "0", "2", "3", "3"}));
  EXPECT_EQ(exposures(), 1);
  EXPECT_TRUE(w.ui.last_status().starts_with(" 連続撮影の画像を保存できません"));
  EXPECT_EQ(std::tie(w.p.series.state().frames_remaining, w.p.series.state().program_running),
            std::tuple(-1, 0));
}

// A unit that does not answer the time exchange of a series' set-up fails
// the series: a counted series keeps the reason on the status line, and a
// program ends with it instead of counting down and repeating.
TEST_F(ProgramShooting, ASilentUnitAtTheSeriesSetUpIsAFailure) {
  const std::string silent = " カメラが応答しません（「S 1000」の送信中）";
  w.unit().options().powered = false;
  w.p.form.Text5 = "1";
  w.ui.input_answers = {"3"};
  w.p.series.exp_menu_grab_num_Click();
  EXPECT_TRUE(w.ui.last_status().starts_with(silent)) << w.ui.last_status();
  EXPECT_EQ(std::tie(w.p.series.state().series_running, w.p.series.state().frames_remaining),
            std::tuple(0, -1));

  w.ui.statuses.clear();
  EXPECT_TRUE(w.p.program_shooting.run_program({"1", "0", "2", "3", "3"}));
  ASSERT_EQ(w.ui.statuses.size(), 1u);  // no countdown, no second series, no end of program
  EXPECT_TRUE(w.ui.last_status().starts_with(silent)) << w.ui.last_status();
  EXPECT_EQ(std::tie(w.p.series.state().frames_remaining, w.p.series.state().program_running),
            std::tuple(-1, 0));
}

// While a program or a series runs, execute only says so.
TEST_F(ProgramShooting, OneProgramAtATime) {
  bool refused = false;
  w.ui.on_yield = [&] {
    if (w.ui.last_status().starts_with(" 次の撮影待ち") && !refused)
      refused = !w.p.program_shooting.run_program({"1", "0", "5", "1", "0"});
  };
  EXPECT_TRUE(w.p.program_shooting.run_program({"1", "0", "2", "1", "0"}));
  EXPECT_TRUE(refused);
  EXPECT_EQ(exposures(), 2);
  EXPECT_EQ(w.ui.boxes.size(), 1u);
}

}  // namespace
}  // namespace stellacq
