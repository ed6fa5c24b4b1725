// Connection, cooling and the periodic tick against the simulated unit.
#include "camera/connection.h"

#include <gtest/gtest.h>

#include "camera/link.h"
#include "camera/tests/sim_world.h"

namespace stellacq {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Lines = std::vector<std::string>;

TEST(Connection, NewConnectionResetsBeforeReadingAndShowsTheGreeting) {
  test::SimWorld w;
  camera_menu_link_Click(w.p);
  const Bytes& c = w.traffic().controls;
  ASSERT_GE(c.size(), 4u);
  EXPECT_EQ(Bytes(c.begin(), c.begin() + 4), (Bytes{0x04, 0x00, 0x04, 0x26}));
  EXPECT_EQ(w.busy.calls, 1);
  EXPECT_EQ(w.busy.total, 1001);
  EXPECT_EQ(w.ui.statuses.front(), w.unit.greeting());
  EXPECT_EQ(w.p.link.camera_connected, 1);
  EXPECT_EQ(w.traffic().commands, (Lines{"I 1536 1024"}));
  EXPECT_EQ(w.control_register(), kControlIdle);
}

TEST(Connection, SensorSizeFollowsTheHead) {
  struct Case {
    std::int16_t head;
    const char* command;
  };
  const Case cases[] = {{4, "I 768 512"}, {16, "I 1536 1024"}, {0, "I 1536 1024"}, {7, "I 1536 1024"}};
  for (const Case& k : cases) {
    SCOPED_TRACE(k.head);
    test::SimWorld w;
    w.p.settings.head_model = k.head;
    camera_menu_link_sumi_Click(w.p);
    EXPECT_EQ(w.traffic().commands, (Lines{k.command}));
    EXPECT_EQ(w.p.link.camera_connected, 1);
    EXPECT_EQ(w.ui.statuses.front(), kAssumedConnectedMessage);
    // No reset pulse on an already running unit.
    for (std::uint8_t v : w.traffic().controls) EXPECT_NE(v, 0x00);
  }
}

TEST(Connection, SilentUnitLeavesTheCameraUnconnected) {
  test::SimWorld w;
  w.unit.options().powered = false;
  camera_menu_link_Click(w.p);
  EXPECT_EQ(w.p.link.camera_connected, 0);
  EXPECT_TRUE(w.p.link.unit_silent);
  EXPECT_EQ(w.ui.last_status().rfind(" カメラが応答しません", 0), 0u);
}

TEST(Connection, NoPortChosenTouchesNothing) {
  test::SimWorld w;
  w.p.ports = {};
  camera_menu_link_Click(w.p);
  camera_menu_link_sumi_Click(w.p);
  EXPECT_TRUE(w.traffic().controls.empty());
  EXPECT_EQ(w.busy.calls, 0);
  EXPECT_EQ(w.p.link.camera_connected, 0);
  EXPECT_EQ(w.ui.last_status(), kChoosePortMessage);
}

TEST(Cooling, SetPointEncodings) {
  struct Case {
    const char* field;
    const char* command;
    const char* shown;
  };
  const Case cases[] = {
      {"-10", "C -100", "-10"},      {"5", "C +50", " 5"},        {"0", "C +0", " 0"},
      {"-10.06", "C -101", "-10.1"}, {"-10.05", "C -100", "-10"}, {"2.25", "C +23", " 2.3"},
      {" --.-", "C +0", " 0"},       {"-0.04", "C +0", " 0"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.field);
    test::SimWorld w;
    camera_menu_link_sumi_Click(w.p);
    w.traffic().clear();
    w.p.form.Text3 = c.field;
    camera_menu_cool_Click(w.p);
    EXPECT_EQ(w.traffic().commands, (Lines{"F 99", c.command}));
    EXPECT_EQ(w.p.form.Text3, c.shown);
    EXPECT_EQ(w.ui.statuses.back(), kCoolingStartedMessage);
  }
}

TEST(Cooling, StopSendsTheOffCodeAndClearsTheField) {
  test::SimWorld w;
  camera_menu_link_sumi_Click(w.p);
  w.traffic().clear();
  camera_menu_cool_stop_Click(w.p);
  EXPECT_EQ(w.traffic().commands, (Lines{"C 751"}));
  EXPECT_EQ(w.p.form.Text3, " --.-");
  EXPECT_EQ(w.ui.last_status(), kCoolingStoppedMessage);
  EXPECT_EQ(w.ui.yields, 1);
  EXPECT_FALSE(w.unit.cooling_on());
}

TEST(Cooling, RefusedWithoutAConnection) {
  test::SimWorld w;
  camera_menu_cool_Click(w.p);
  camera_menu_cool_stop_Click(w.p);
  EXPECT_TRUE(w.traffic().controls.empty());
  EXPECT_EQ(w.p.form.Text3, "-10");
  EXPECT_EQ(w.ui.statuses, (Lines{kPleaseConnectMessage, kPleaseConnectMessage}));
}

TEST(Cooling, UnitApproachesTheSetPointAndDriftsBackAfterStop) {
  test::SimWorld w;
  camera_menu_link_Click(w.p);
  camera_menu_cool_Click(w.p);  // -10 C
  w.unit_clock.advance_us(10'000'000);
  Timer1_Timer(w.p);
  EXPECT_EQ(w.p.form.Text4, " 15");  // 0.5 C per second from +20 C
  w.unit_clock.advance_us(100'000'000);
  Timer1_Timer(w.p);
  EXPECT_EQ(w.p.form.Text4, "-10");
  camera_menu_cool_stop_Click(w.p);
  w.unit_clock.advance_us(4'000'000);
  Timer1_Timer(w.p);
  EXPECT_EQ(w.p.form.Text4, "-8");
}

TEST(Tick, DateLineAndRemainingFrames) {
  struct Case {
    int remaining;
    const char* line;
  };
  const Case cases[] = {
      {-1, "2010-05-01 21:30:05"},
      {0, "2010-05-01 21:30:05"},
      {5, "2010-05-01 21:30:05 残り 5枚"},
      {12, "2010-05-01 21:30:05 残り 12枚"},
  };
  for (const Case& c : cases) {
    test::SimWorld w;
    w.clock.now_value = {2010, 5, 1, 21, 30, 5};
    w.p.series.frames_remaining = c.remaining;
    Timer1_Timer(w.p);
    EXPECT_EQ(w.p.form.Text1, c.line);
    // Before any connection the tick leaves the unit alone.
    EXPECT_TRUE(w.traffic().controls.empty());
    EXPECT_EQ(w.p.form.Text4, " --.-");
  }
}

TEST(Tick, TemperatureDisplay) {
  struct Case {
    const char* reply;
    const char* shown;
  };
  const Case cases[] = {{"-100", "-10"}, {"-95", "-9.5"}, {"253", " 25.3"},
                        {"0", " 0"},     {"ERR", " 0"},   {"-5", "-.5"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.reply);
    sim::ControlUnitOptions o = test::SimWorld::default_options();
    o.temperature_reply = c.reply;
    test::SimWorld w(o);
    camera_menu_link_sumi_Click(w.p);
    w.traffic().clear();
    Timer1_Timer(w.p);
    EXPECT_EQ(w.traffic().commands, (Lines{"T"}));
    EXPECT_EQ(w.p.form.Text4, c.shown);
  }
}

TEST(Tick, SilentUnitIsNotQueriedAgainUntilANewConnection) {
  test::SimWorld w;
  camera_menu_link_Click(w.p);
  w.unit.options().powered = false;
  Timer1_Timer(w.p);
  EXPECT_TRUE(w.p.link.unit_silent);
  EXPECT_EQ(w.ui.last_status().rfind(" カメラが応答しません", 0), 0u);
  EXPECT_EQ(w.control_register(), kControlIdle);

  const std::size_t writes = w.traffic().controls.size();
  const std::int64_t clock_before = w.clock.monotonic_value_us;
  Timer1_Timer(w.p);
  Timer1_Timer(w.p);
  EXPECT_EQ(w.traffic().controls.size(), writes);
  EXPECT_EQ(w.clock.monotonic_value_us, clock_before);  // no wait at all

  w.unit.options().powered = true;
  camera_menu_link_Click(w.p);
  EXPECT_FALSE(w.p.link.unit_silent);
  w.traffic().clear();
  Timer1_Timer(w.p);
  EXPECT_EQ(w.traffic().commands, (Lines{"T"}));
  EXPECT_EQ(w.p.form.Text4, " 20");
}

}  // namespace
}  // namespace stellacq
