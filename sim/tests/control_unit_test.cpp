// The simulated unit's own behaviour: greeting, the sizes it takes from the
// commands, and the frames it renders.
#include "sim/control_unit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>

#include "camera/link.h"
#include "camera/tests/sim_world.h"

namespace stellacq {
namespace {

TEST(SimUnit, GreetingAndTransferSizesFollowTheCommands) {
  // Unit, head command, binning command, "X" reply, "U" reply.
  using Row = std::tuple<int, const char*, const char*, const char*, const char*>;
  const Row cases[] = {{sim::kUnitTu22, "I 1536 1024", "N 1 1", "1536 1024", "1536 1024\r\n"},
                       {sim::kUnitTu22, "I 768 512", "N 2 2", "384 256", "768 256\r\n"},  // rows doubled
                       {sim::kUnitTu11, "I 768 512", "N 1 1", "768 512", "768 512\r\n"},
                       {sim::kUnitTu22, "I 99999 3", "N 1 1", "1536 1024", "1536 1024\r\n"}};  // not a head
  for (const auto& [unit, head, binning, x_reply, u_reply] : cases) {
    SCOPED_TRACE(u_reply);
    sim::ControlUnitOptions o = test::SimWorld::default_options();
    o.unit_model = unit;
    test::SimWorld w(o);
    for (std::uint8_t v : {0x04, 0x00, 0x04}) w.unit.PortOut(sim::kSimBase + 2, v);
    ASSERT_TRUE(read_reply(w.p, kReplyFramed));
    EXPECT_EQ(w.p.link.reply_text,
              unit == sim::kUnitTu11 ? " TU-11 CCD CONTROLLER READY" : " TU-22 CCD CONTROLLER READY");
    for (const char* command : {head, binning, "S 1000", "D"}) ASSERT_TRUE(exchange_command(w.p, command));
    ASSERT_TRUE(exchange_command(w.p, "X"));
    EXPECT_EQ(w.p.link.reply_text, x_reply);
    ASSERT_TRUE(exchange_command(w.p, "U", kReplyLine));
    EXPECT_EQ(w.p.link.reply_text, u_reply);
  }
}

// Median and maximum of a frame.
std::pair<int, int> median_max(std::vector<std::uint16_t> v) {
  const int max = *std::max_element(v.begin(), v.end());
  std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
  return {v[v.size() / 2], max};
}

TEST(SimUnit, DarkFramesHaveNoStarsAndLessDarkCurrentWhenCold) {
  test::SimWorld w;
  for (const char* command : {"N 2 2", "S 60000", "V"}) ASSERT_TRUE(exchange_command(w.p, command));
  // Light: bias 1000 + 4 pixels x (sky 10 + dark 1) x 60 s; stars saturate.
  EXPECT_NEAR(median_max(w.unit.frame()).first, 3640, 60);
  EXPECT_EQ(median_max(w.unit.frame()).second, 65535);
  // Dark: bias and dark current only; hot pixels stand out.
  ASSERT_TRUE(exchange_command(w.p, "D"));
  const auto [warm_median, warm_max] = median_max(w.unit.frame());
  EXPECT_NEAR(warm_median, 1240, 30);
  EXPECT_GT(warm_max, 10000);
  EXPECT_LT(warm_max, 65535);
  ASSERT_TRUE(exchange_command(w.p, "C -100"));
  w.unit_clock.advance_us(120'000'000);
  ASSERT_TRUE(exchange_command(w.p, "D"));
  EXPECT_NEAR(median_max(w.unit.frame()).first, 1008, 10);
}

}  // namespace
}  // namespace stellacq
