// The simulated unit's own behaviour: its greeting and the sizes it takes
// from the commands.
#include "sim/control_unit.h"

#include <gtest/gtest.h>

#include <tuple>

#include "camera/failure_text.h"
#include "camera/geometry.h"
#include "test_support/world.h"

namespace stellacq {
namespace {

// The unit's reply to `command`, or what says there was none.
std::string reply_to(testing::SimWorld& w, const char* command, ReplyMode mode = ReplyMode::Framed) {
  return testing::exchange(w, command, mode) ? w.p.link.reply_text : "(no reply)";
}

TEST(SimUnit, GreetingAndTransferSizesFollowTheCommands) {
  // Unit, head command, binning command, "X" reply, "U" reply.
  using Row = std::tuple<int, const char*, const char*, const char*, const char*>;
  const Row cases[] = {{sim::kUnitTu22, "I 1536 1024", "N 1 1", "1536 1024", "1536 1024\r\n"},
                       {sim::kUnitTu22, "I 768 512", "N 2 2", "384 256", "768 256\r\n"},  // rows doubled
                       {sim::kUnitTu11, "I 768 512", "N 1 1", "768 512", "768 512\r\n"},
                       {sim::kUnitTu22, "I 99999 3", "N 1 1", "1536 1024", "1536 1024\r\n"}};  // not a head
  for (const auto& [unit, head, binning, x_reply, u_reply] : cases) {
    SCOPED_TRACE(u_reply);
    sim::ObservatoryOptions o = testing::SimWorld::default_options();
    o.unit.unit_model = unit;
    testing::SimWorld w(o);
    for (std::uint8_t v : {0x04, 0x00, 0x04}) w.unit().PortOut(sim::kSimBase + 2, v);
    CameraPort port = testing::camera_port(w);
    ASSERT_EQ(read_reply(port, w.p.link, ReplyMode::Framed), LinkResult::Ok);
    EXPECT_EQ(w.p.link.reply_text,
              unit == sim::kUnitTu11 ? " TU-11 CCD CONTROLLER READY" : " TU-22 CCD CONTROLLER READY");
    for (const char* command : {head, binning, "S 1000", "D"}) ASSERT_TRUE(testing::exchange(w, command));
    EXPECT_EQ(reply_to(w, "X"), x_reply);
    EXPECT_EQ(reply_to(w, "U", ReplyMode::Line), u_reply);
  }
}

// The CCD temperature moves towards the set point at the cooler's rate, as
// the unit reports it, and drifts back to ambient once cooling stops.
TEST(SimUnit, CoolingMovesTheTemperatureAtAFiniteRateAndBack) {
  testing::SimWorld w;  // ambient +20 C, 0.5 C a second
  EXPECT_EQ(reply_to(w, "T"), "200");
  ASSERT_TRUE(testing::exchange(w, "F 99"));
  ASSERT_TRUE(testing::exchange(w, "C -100"));
  // Seconds more on the unit's clock, and the temperature then reported.
  const std::pair<std::int64_t, const char*> cooling[] = {{10, "150"}, {50, "-100"}, {100, "-100"}};
  for (const auto& [seconds, tenths] : cooling) {
    w.unit_clock.advance_us(seconds * 1'000'000);
    EXPECT_EQ(reply_to(w, "T"), tenths) << seconds;
  }
  ASSERT_TRUE(testing::exchange(w, "C 751"));
  w.unit_clock.advance_us(20'000'000);
  EXPECT_EQ(reply_to(w, "T"), "0");
  w.unit_clock.advance_us(100'000'000);
  EXPECT_EQ(reply_to(w, "T"), "200");
}

}  // namespace
}  // namespace stellacq
