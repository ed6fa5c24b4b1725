// Single light and dark exposures end to end through the simulated unit:
// the exact command order, the status texts the user sees, the rewritten
// shutter field and the frame that arrives.
#include "exposure/single.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "camera/connection.h"
#include "exposure/download.h"
#include "test_support/world.h"

namespace stellacq {
namespace {

using Strings = std::vector<std::string>;

class SingleExposure : public ::testing::Test {
 protected:
  SingleExposure() { w.connect_tx11(); }
  testing::SimWorld w;
};

TEST_F(SingleExposure, LightFrameRunsTheWholeDialogueAndShowsTheFrame) {
  w.p.shooting.exp_menu_one_Click();
  EXPECT_EQ(w.traffic().commands, (Strings{"S 30000", "N 2 2", "V", "X", "U"}));
  EXPECT_EQ(w.ui.statuses, (Strings{" 撮影しています", " 露出中", " ダウンロード中", " ダウンロード完了",
                                    " 撮影終了しました"}));
  EXPECT_EQ(std::pair(w.p.frames.light.width, w.p.frames.light.height), std::pair(384, 256));
  EXPECT_EQ(w.p.form.Text5, " 30");
  // The header was built for this frame, and the frame was shown.
  EXPECT_EQ(w.p.headers.light_header[4].substr(0, 30), "NAXIS1  =                  384");
  // The simulated sky must be one the automatic levels can stretch: a quiet
  // sky puts the histogram peak into its first bins and shows a white frame.
  const Frames& f = w.p.frames;
  EXPECT_GT(f.display_background, f.light.min);
  EXPECT_GT(f.display_range, 50);
  EXPECT_LT(f.display_background + f.display_range, f.light.max);
  EXPECT_EQ(w.ui.picture_updates, 1);
  EXPECT_EQ(w.ui.beeps, 1);
}

TEST_F(SingleExposure, DarkFrameUsesTheDarkCommandAndBuffer) {
  w.p.frames.binning = 1;
  w.p.form.Text5 = "1.9";
  w.p.shooting.exp_menu_dark_Click();
  EXPECT_EQ(w.traffic().commands, (Strings{"S 1000", "N 1 1", "D", "X", "U"}));
  EXPECT_EQ(w.p.form.Text5, " 1");
  EXPECT_EQ(std::pair(w.p.frames.dark.width, w.p.frames.dark.height), std::pair(768, 512));
  EXPECT_EQ(w.p.frames.light.width, 0);
  EXPECT_EQ(w.p.frames.display_source, DisplaySource::Dark);
  EXPECT_EQ(w.ui.picture_updates, 1);
}

TEST_F(SingleExposure, RefusalsSendNothing) {
  struct Case {
    const char* shutter;
    bool connected;
    const char* status;
  };
  const Case cases[] = {
      {"0.5", true, " シャッター時間は1sec以上"},
      {"30", false, " ＴＸ－１１の接続をして下さい"},
  };
  for (const Case& c : cases) {
    w.p.link.camera_connected = c.connected ? 1 : 0;
    w.p.form.Text5 = c.shutter;
    w.traffic().clear();
    w.p.shooting.exp_menu_one_Click();
    w.p.shooting.exp_menu_dark_Click();
    EXPECT_TRUE(w.traffic().received.empty()) << c.shutter;
    EXPECT_EQ(w.ui.last_status(), c.status) << c.shutter;
    EXPECT_EQ(w.p.form.Text5, c.shutter);
  }
}

TEST_F(SingleExposure, WithoutDisplayAfterShootingTheFrameIsNotDrawn) {
  w.p.form.Check1 = false;
  w.p.shooting.Check1_Click(w.p.form.Check1);
  EXPECT_EQ(w.p.exposure.display_after_shooting, 0);
  w.p.shooting.exp_menu_one_Click();
  EXPECT_EQ(w.p.frames.light.width, 384);
  EXPECT_EQ(w.ui.picture_updates, 0);
}

// A silent unit or a garbled size reply ends the shot as failed: the reason
// stays on the status line, and no frame is kept or shown.
TEST_F(SingleExposure, AFailedExchangeEndsTheExposureWithItsReason) {
  w.unit().options().powered = false;
  w.p.shooting.exp_menu_one_Click();
  EXPECT_NE(w.ui.last_status().find("応答しません"), std::string::npos);
  EXPECT_EQ(w.p.frames.light.width, 0);

  w.unit().options().powered = true;
  w.unit().options().size_reply = "abc";
  w.p.shooting.exp_menu_one_Click();
  EXPECT_EQ(w.ui.last_status(), short_frame_text(0, 384 * 256));
  EXPECT_EQ(w.ui.picture_updates, 0);
}

// A flat loaded while the light frame comes in gives the light frame the
// flat's size (a 4 x 4 flat): the download still fills the 384 x 256 the
// exposure was started with, and the frame keeps that size.
TEST_F(SingleExposure, AFlatLoadedDuringTheExposureDoesNotResizeTheFrame) {
  w.ui.on_yield = [&] {
    if (w.ui.last_status() != kDownloadingMessage) return;
    Frames& f = w.p.frames;
    f.light.width = f.light.height = 4;
    testing::fill(f.flat, 4, 4, 1000);
    f.flat_loaded = 1;
  };
  w.p.shooting.exp_menu_one_Click();
  const Frames& f = w.p.frames;
  EXPECT_EQ(std::pair(f.light.width, f.light.height), std::pair(384, 256));
  const std::vector<std::uint16_t>& sent = w.unit().frame();
  ASSERT_EQ(sent.size(), 384u * 256u);
  EXPECT_EQ(f.light.counts.at(383, 255), sent.back());
  EXPECT_EQ(f.light.counts.at(4, 4), sent[4 * 384 + 4]);
  EXPECT_EQ(w.ui.last_status(), kShootingDoneMessage);
}

// A connected world whose unit times its exposures on a clock that runs
// with the program's: both move 61 us a reading and both by the wait's rests.
std::unique_ptr<testing::SimWorld> timed_world(const char* seconds) {
  sim::ObservatoryOptions options = testing::SimWorld::default_options();
  options.unit.instant_exposures = false;
  auto w = std::make_unique<testing::SimWorld>(options);
  w->unit_clock.auto_step_us = 61;
  w->clock.auto_step_us = 61;
  w->p.connection.camera_menu_link_sumi_Click();
  w->p.form.Text5 = seconds;
  return w;
}

// The wait for the end of a 30 s exposure keeps to the 30 s sent, though
// the field is edited to 1 s while the window yields before the exposure.
TEST(ExposureWait, FollowsTheTimeSentNotTheEditedField) {
  auto world = timed_world("30");
  testing::SimWorld& w = *world;
  w.ui.on_yield = [&] {
    if (w.ui.last_status() == kShootingMessage) w.p.form.Text5 = "1";
  };
  w.p.shooting.exp_menu_one_Click();
  EXPECT_EQ(w.p.exposure.seconds_sent, 30);
  EXPECT_EQ(w.ui.last_status(), kShootingDoneMessage);
  EXPECT_FALSE(w.p.link.unit_silent);
  EXPECT_GE(w.unit_clock.monotonic_value_us, 30'000'000);
}

// A 3 s exposure tells the seconds left as they fall, then the download the
// share of the frame block by block up to the whole frame; the status line
// keeps its texts.
TEST(ExchangeProgress, ExposureCountsDownThenTheDownloadReachesTheWholeFrame) {
  auto world = timed_world("3");
  testing::SimWorld& w = *world;
  w.p.shooting.exp_menu_one_Click();
  EXPECT_EQ(w.ui.exchanges_ended, 2);

  std::vector<std::int64_t> left;
  std::vector<ExchangeProgress> blocks;
  for (const ExchangeProgress& e : w.ui.progress) {
    if (e.kind == ExchangeKind::Exposure) {
      ASSERT_TRUE(blocks.empty()) << "exposure progress after the download began";
      EXPECT_EQ(e.total, 3000);
      left.push_back(seconds_left(e));
    } else {
      blocks.push_back(e);
    }
  }
  ASSERT_FALSE(left.empty());
  EXPECT_EQ(left.front(), 3);
  EXPECT_LE(left.back(), 1);
  EXPECT_TRUE(std::is_sorted(left.rbegin(), left.rend()));
  ASSERT_EQ(blocks.size(), 13u);  // 768 x 512 in blocks of 30720
  for (std::size_t i = 0; i < blocks.size(); ++i) {
    EXPECT_EQ(blocks[i].total, 768 * 512);
    EXPECT_EQ(blocks[i].done, std::min<std::int64_t>((i + 1) * 30720, 768 * 512));
  }
}

TEST(ExchangeProgress, SecondsLeftRoundUpAndStopAtZero) {
  const std::pair<ExchangeProgress, std::int64_t> cases[] = {
      {{ExchangeKind::Exposure, 1, 3000}, 3},
      {{ExchangeKind::Exposure, 2999, 3000}, 1},
      {{ExchangeKind::Exposure, 9000, 3000}, 0},
  };
  for (const auto& [progress, left] : cases) EXPECT_EQ(seconds_left(progress), left) << progress.done;
}

TEST(ExposureWait, AllowsTheExposureTimeAndAMargin) {
  EXPECT_GT(exposure_reply_limit_us(600), 600'000'000);
  EXPECT_LT(exposure_reply_limit_us(600), 700'000'000);
  EXPECT_EQ(exposure_reply_limit_us(-5), exposure_reply_limit_us(0));
}

}  // namespace
}  // namespace stellacq
