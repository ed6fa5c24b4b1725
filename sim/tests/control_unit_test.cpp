// The simulated unit's own behaviour: greeting, settings it takes from the
// commands, exposure timing on its clock, and the frames it renders.
#include "sim/control_unit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>

#include "camera/link.h"
#include "camera/tests/sim_world.h"

namespace stellacq {
namespace {

bool exchange(Program& p, const std::string& command, int mode = kReplyFramed) {
  p.link.command_text = command;
  return send_command(p) && read_reply(p, mode);
}

void reset_pulse(test::SimWorld& w) {
  for (std::uint8_t v : {0x04, 0x00, 0x04}) w.unit.PortOut(sim::kSimBase + 2, v);
}

TEST(SimUnit, GreetingNamesTheModelAndFollowsEveryReset) {
  for (int model : {sim::kUnitTu11, sim::kUnitTu22}) {
    sim::ControlUnitOptions o = test::SimWorld::default_options();
    o.unit_model = model;
    test::SimWorld w(o);
    reset_pulse(w);
    ASSERT_TRUE(read_reply(w.p, kReplyFramed));
    EXPECT_EQ(w.p.link.reply_text,
              model == sim::kUnitTu11 ? " TU-11 CCD CONTROLLER READY" : " TU-22 CCD CONTROLLER READY");
  }
}

TEST(SimUnit, TakesHeadBinningAndExposureFromCommands) {
  test::SimWorld w;
  EXPECT_EQ(w.unit.head_width(), 1536);
  ASSERT_TRUE(exchange(w.p, "I 768 512"));
  ASSERT_TRUE(exchange(w.p, "N 2 2"));
  ASSERT_TRUE(exchange(w.p, "S 30000"));
  EXPECT_EQ(w.unit.head_width(), 768);
  EXPECT_EQ(w.unit.head_height(), 512);
  EXPECT_EQ(w.unit.binning(), 2);
  EXPECT_EQ(w.unit.exposure_ms(), 30000);
  ASSERT_TRUE(exchange(w.p, "N 1 1"));
  EXPECT_EQ(w.unit.binning(), 1);
  ASSERT_TRUE(exchange(w.p, "I 99999 3"));  // not a head: ignored
  EXPECT_EQ(w.unit.head_width(), 768);
  ASSERT_TRUE(exchange(w.p, "Q"));
  EXPECT_EQ(w.p.link.reply_text, "?");
}

TEST(SimUnit, TransferSizeReplies) {
  struct Case {
    int unit;
    const char* head;
    const char* binning;
    const char* x_reply;
    const char* u_reply;
  };
  const Case cases[] = {
      {sim::kUnitTu22, "I 1536 1024", "N 1 1", "1536 1024", "1536 1024\r\n"},
      {sim::kUnitTu22, "I 1536 1024", "N 2 2", "768 512", "768 512\r\n"},
      {sim::kUnitTu22, "I 768 512", "N 2 2", "384 256", "768 256\r\n"},
      {sim::kUnitTu11, "I 768 512", "N 1 1", "768 512", "768 512\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.u_reply);
    sim::ControlUnitOptions o = test::SimWorld::default_options();
    o.unit_model = c.unit;
    test::SimWorld w(o);
    for (const char* command : {c.head, c.binning, "S 1000", "D"}) ASSERT_TRUE(exchange(w.p, command));
    ASSERT_TRUE(exchange(w.p, "X"));
    EXPECT_EQ(w.p.link.reply_text, c.x_reply);
    ASSERT_TRUE(exchange(w.p, "U", kReplyLine));
    EXPECT_EQ(w.p.link.reply_text, c.u_reply);
  }
}

TEST(SimUnit, ExposureReplyComesOnlyAfterTheExposureTime) {
  sim::ControlUnitOptions o = test::SimWorld::default_options();
  o.instant_exposures = false;
  test::SimWorld w(o);
  ASSERT_TRUE(exchange(w.p, "S 2000"));
  w.p.link.command_text = "D";
  ASSERT_TRUE(send_command(w.p));
  w.unit.PortOut(sim::kSimBase + 2, kControlReceive);
  w.unit_clock.advance_us(1'999'000);
  EXPECT_TRUE(w.unit.PortIn(sim::kSimBase + 1) & kStatusHandshake);  // nothing yet
  EXPECT_TRUE(w.unit.frame().empty());
  w.unit_clock.advance_us(1'000);
  EXPECT_FALSE(w.unit.PortIn(sim::kSimBase + 1) & kStatusHandshake);  // the reply starts
  EXPECT_EQ(w.unit.frame().size(), 1536u * 1024u);                    // rendered at the end of the exposure
}

// Median and maximum of a frame.
std::pair<int, int> median_max(std::vector<std::uint16_t> v) {
  const int max = *std::max_element(v.begin(), v.end());
  std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
  return {v[v.size() / 2], max};
}

TEST(SimUnit, DarkFramesHaveNoStarsAndMoreDarkCurrentWhenWarm) {
  test::SimWorld w;
  for (const char* command : {"N 2 2", "S 60000", "V"}) ASSERT_TRUE(exchange(w.p, command));
  const auto [light_median, light_max] = median_max(w.unit.frame());
  ASSERT_TRUE(exchange(w.p, "D"));
  const auto [warm_median, warm_max] = median_max(w.unit.frame());
  // Light: bias 1000 + 4 pixels x (sky 10 + dark 1) x 60 s; stars far above.
  EXPECT_NEAR(light_median, 3640, 60);
  EXPECT_EQ(light_max, 65535);
  // Dark: bias + dark current only; hot pixels stand out.
  EXPECT_NEAR(warm_median, 1240, 30);
  EXPECT_GT(warm_max, 10000);

  ASSERT_TRUE(exchange(w.p, "C -100"));
  w.unit_clock.advance_us(120'000'000);
  ASSERT_TRUE(exchange(w.p, "D"));
  const auto [cold_median, cold_max] = median_max(w.unit.frame());
  EXPECT_NEAR(cold_median, 1008, 10);
  EXPECT_LE(cold_max, 65535);
}

TEST(SimUnit, SelfContainedUnitRendersItsOwnSky) {
  ManualClock clock;
  sim::ControlUnitOptions o;
  o.unit_model = sim::kUnitTu11;
  o.instant_exposures = true;
  SimControlUnit unit(clock, o);
  ScriptedInteraction ui;
  RecordingBusyCount busy;
  Program p(unit, clock, ui, busy);
  apply_parallel_port(2, p.ports);
  for (const char* command : {"I 768 512", "N 1 1", "S 1000", "V"}) ASSERT_TRUE(exchange(p, command));
  EXPECT_EQ(unit.frame().size(), 768u * 512u);
  EXPECT_EQ(unit.wire_width(), 768);  // a TU-11 sends a TX-11's rows as they are
  unit.sky().set_pointing(10.0, 41.3);
  EXPECT_EQ(unit.sky().dec_deg(), 41.3);
}

}  // namespace
}  // namespace stellacq
