// Connection, cooling and the periodic tick against the simulated unit.
#include "camera/connection.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>

#include "camera/failure_text.h"
#include "core/numeric.h"
#include "test_support/world.h"

namespace stellacq {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Lines = std::vector<std::string>;

TEST(Connection, NewConnectionResetsFirstAlreadyConnectedNever) {
  testing::SimWorld w;
  w.p.connection.camera_menu_link_Click();
  const Bytes& c = w.traffic().controls;
  ASSERT_GE(c.size(), 4u);
  EXPECT_EQ(Bytes(c.begin(), c.begin() + 4), (Bytes{0x04, 0x00, 0x04, 0x26}));
  EXPECT_EQ(std::tuple(w.busy.total, w.ui.statuses.front(), w.p.link.camera_connected, w.traffic().commands),
            std::tuple(1001, w.unit().greeting(), 1, Lines{"I 1536 1024"}));

  for (const auto& [head, command] : {std::pair{4, "I 768 512"}, {16, "I 1536 1024"}, {7, "I 1536 1024"}}) {
    testing::SimWorld v;
    v.p.settings.head_model = static_cast<std::int16_t>(head);
    v.p.connection.camera_menu_link_sumi_Click();
    EXPECT_EQ(std::tuple(v.traffic().commands, v.p.link.camera_connected, v.ui.statuses.front(),
                         std::count(v.traffic().controls.begin(), v.traffic().controls.end(), kControlReset)),
              std::tuple(Lines{command}, 1, std::string(kAssumedConnectedMessage), 0));
  }
}

TEST(Connection, RefusalsTouchNothing) {
  using Row = std::tuple<bool, void (*)(Program&), const char*>;  // port chosen, command, status
  const Row cases[] = {
      {false, +[](Program& p) { p.connection.camera_menu_link_Click(); }, kChoosePortMessage},
      {false, +[](Program& p) { p.connection.camera_menu_link_sumi_Click(); }, kChoosePortMessage},
      {true, +[](Program& p) { p.connection.camera_menu_cool_Click(numeric_value(p.form.Text3)); },
       kPleaseConnectMessage},
      {true, +[](Program& p) { p.connection.camera_menu_cool_stop_Click(); }, kPleaseConnectMessage}};
  for (const auto& [port_chosen, command, status] : cases) {
    testing::SimWorld w;
    if (!port_chosen) w.p.ports = {};
    command(w.p);
    EXPECT_EQ(std::tuple(w.traffic().controls.size(), w.busy.calls, w.p.link.camera_connected, w.p.form.Text3,
                         w.ui.statuses),
              std::tuple(0u, 0, 0, std::string("-10"), Lines{status}));
  }
}

TEST(Cooling, SetPointEncodingsAndStop) {
  using Row = std::tuple<const char*, const char*, const char*>;  // field, command, field afterwards
  const Row cases[] = {{"-10", "C -100", "-10"},      {"5", "C +50", " 5"},        {" --.-", "C +0", " 0"},
                       {"-10.06", "C -101", "-10.1"}, {"-10.05", "C -100", "-10"}, {"2.25", "C +23", " 2.3"}};
  for (const auto& [field, command, shown] : cases) {
    testing::SimWorld w;
    w.p.connection.camera_menu_link_sumi_Click();
    w.traffic().clear();
    w.p.form.Text3 = field;
    w.p.connection.camera_menu_cool_Click(numeric_value(w.p.form.Text3));
    EXPECT_EQ(std::tuple(w.traffic().commands, w.p.form.Text3, w.ui.statuses.back()),
              std::tuple(Lines{"F 99", command}, std::string(shown), std::string(kCoolingStartedMessage)));
    w.traffic().clear();
    w.p.connection.camera_menu_cool_stop_Click();
    EXPECT_EQ(std::tuple(w.traffic().commands, w.p.form.Text3, w.ui.statuses.back(), w.ui.yields),
              std::tuple(Lines{"C 751"}, std::string(" --.-"), std::string(kCoolingStoppedMessage), 1));
  }
}

TEST(Tick, DateLineRemainingFramesAndTemperature) {
  // Frames remaining, end of the line, the unit's "T" reply (null: no camera
  // connected), temperature shown.
  using Row = std::tuple<int, const char*, const char*, const char*>;
  const Row cases[] = {{-1, "", nullptr, " --.-"},
                       {12, " 残り 12枚", "-95", "-9.5"},
                       {0, "", "253", " 25.3"},
                       {-1, "", "ERR", " 0"}};
  for (const auto& [remaining, line_end, reply, shown] : cases) {
    sim::ObservatoryOptions o = testing::SimWorld::default_options();
    if (reply) o.unit.temperature_reply = reply;
    testing::SimWorld w(o);
    if (reply) w.p.connection.camera_menu_link_sumi_Click();
    w.traffic().clear();
    w.clock.now_value = {2010, 5, 1, 21, 30, 5};
    w.p.series.state().frames_remaining = remaining;
    w.p.connection.Timer1_Timer();
    EXPECT_EQ(std::tuple(w.p.form.Text1, w.traffic().controls.empty(), w.traffic().commands, w.p.form.Text4),
              std::tuple(std::string("2010-05-01 21:30:05") + line_end, reply == nullptr,
                         reply ? Lines{"T"} : Lines{}, std::string(shown)));
  }
}

TEST(Tick, SilentUnitIsLeftAloneUntilANewConnection) {
  testing::SimWorld w;
  w.unit().options().powered = false;
  w.p.connection.camera_menu_link_Click();  // no greeting: not connected
  EXPECT_EQ(w.p.link.camera_connected, 0);
  w.p.connection.camera_menu_link_sumi_Click();  // connected, the head size goes unanswered
  EXPECT_TRUE(w.p.link.unit_silent);
  EXPECT_TRUE(w.ui.last_status().starts_with(" カメラが応答しません")) << w.ui.last_status();
  const std::size_t writes = w.traffic().controls.size();
  const std::int64_t clock_before = w.clock.monotonic_value_us;
  w.p.connection.Timer1_Timer();
  EXPECT_EQ(std::tuple(w.traffic().controls.size(), w.clock.monotonic_value_us),
            std::tuple(writes, clock_before));

  w.unit().options().powered = true;
  w.p.connection.camera_menu_link_Click();
  EXPECT_FALSE(w.p.link.unit_silent);
  w.traffic().clear();
  w.p.connection.Timer1_Timer();
  EXPECT_EQ(w.traffic().commands, (Lines{"T"}));
}

}  // namespace
}  // namespace stellacq
