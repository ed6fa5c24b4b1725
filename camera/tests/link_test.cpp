// Register-level behaviour of the link primitives against the simulated unit.
#include "camera/link.h"

#include <gtest/gtest.h>

#include <tuple>

#include "test_support/world.h"

namespace stellacq {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(LinkWrite, CommandGoesOutByteByByteWithOneStrobeEach) {
  testing::SimWorld w;
  w.p.link.command_text = "T";
  ASSERT_TRUE(send_command(w.p));
  EXPECT_EQ(w.traffic().received, (Bytes{0x54, 0x0D}));
  EXPECT_EQ(w.traffic().controls, (Bytes{0x04, 0x05, 0x04, 0x05, 0x04}));
}

constexpr int kByte = -1;  // read_byte instead of read_reply

TEST(LinkRead, RepliesEndAtTheirTerminator) {
  // Mode, bytes the unit sends, reply_text afterwards, bytes the PC took.
  using Row = std::tuple<int, std::string, std::string, std::size_t>;
  // (\333 is the frame end 0xDB.)
  const Row cases[] = {
      {kReplyFramed, "-100\333", "-100", 5},
      {kReplyFramed, "\333", "", 1},
      {kReplyFramed, "AB\333C\333", "AB", 3},
      {kReplyLine, "768 512\r\n", "768 512\r\n", 9},
      {kReplyLine, "1\3332\n", "1\3332\n", 4},
      {kByte, "\333Z", "\333", 1},
  };
  for (const auto& [mode, bytes, expected, taken] : cases) {
    SCOPED_TRACE(bytes);
    testing::SimWorld w;
    w.unit().queue_output(bytes);
    ASSERT_TRUE(mode == kByte ? read_byte(w.p) : read_reply(w.p, mode));
    EXPECT_EQ(w.p.link.reply_text, expected);
    EXPECT_EQ(w.traffic().sent.size(), taken);
    // 0x26, then 0x27 and 0x26 for every byte taken, and idle at the end.
    Bytes controls{kControlReceive};
    for (std::size_t i = 0; i < taken; ++i) controls.insert(controls.end(), {kControlTaken, kControlReceive});
    controls.push_back(kControlIdle);
    EXPECT_EQ(w.traffic().controls, controls);
  }
}

TEST(LinkRead, EndlessReplyIsCutOff) {
  testing::SimWorld w;
  w.unit().queue_output(std::string(kMaxReplyBytes + 100, 'A'));
  w.p.link.command_text = "T";
  EXPECT_FALSE(read_reply(w.p, kReplyFramed));
  EXPECT_EQ(w.p.link.reply_text.size(), kMaxReplyBytes);
  EXPECT_TRUE(w.p.link.unit_silent);
  EXPECT_EQ(w.control_register(), kControlIdle);
  EXPECT_EQ(w.ui.last_status().rfind(" カメラの応答が不正です（「T」への応答が終わりません）", 0), 0u);
}

TEST(LinkDecode, SamplesOnTheWire) {
  EXPECT_EQ(decode_sample(0x00, 0x00), 32767);
  EXPECT_EQ(decode_sample(0xFF, 0x7F), 0);
  EXPECT_EQ(decode_sample(0x00, 0x80), 65535);
  EXPECT_EQ(decode_sample(0xFF, 0xFF), 32768);
}

TEST(LinkTimeout, SilentUnitEndsEveryPrimitiveWithAMessage) {
  using Row = std::pair<bool (*)(Program&), const char*>;  // primitive, part of the status text
  const Row cases[] = {{[](Program& p) { return send_command(p); }, "「T」の送信中"},
                       {[](Program& p) { return read_reply(p, kReplyFramed); }, "「T」への応答待ち"},
                       {read_byte, "応答バイト"},
                       {send_count, "ブロック数"},
                       {[](Program& p) { std::int32_t sample; return read_sample(p, sample); }, "画像データ"}};
  for (const auto& [run, names] : cases) {
    testing::SimWorld w;
    w.unit().options().powered = false;
    w.p.link.command_text = "T";
    EXPECT_FALSE(run(w.p));
    EXPECT_TRUE(w.p.link.unit_silent);
    EXPECT_EQ(w.traffic().controls.back(), kControlIdle);
    const std::string& status = w.ui.last_status();
    EXPECT_EQ(status.rfind(" カメラが応答しません", 0), 0u) << status;
    EXPECT_NE(status.find(names), std::string::npos) << status;
    // The wait ended near its limit, not long after it.
    EXPECT_LT(w.clock.monotonic_value_us, 2 * kHandshakeLimitUs);
  }
}

TEST(LinkTimeout, ExposureReplyComesAfterTheExposureTimeWithinTheCallersLimit) {
  sim::ObservatoryOptions o = testing::SimWorld::default_options();
  o.unit.instant_exposures = false;
  testing::SimWorld w(o);
  ASSERT_TRUE(exchange_command(w.p, "S 2000"));
  w.p.link.command_text = "V";
  ASSERT_TRUE(send_command(w.p));
  w.unit_clock.advance_us(1'999'000);  // the unit's clock stands still while the PC waits
  const std::int64_t start = w.clock.monotonic_value_us;
  EXPECT_FALSE(read_reply(w.p, kReplyFramed, 10'000'000));
  EXPECT_GE(w.clock.monotonic_value_us - start, 10'000'000);  // waited as long as allowed
  w.unit_clock.advance_us(1'000);
  ASSERT_TRUE(read_reply(w.p, kReplyFramed));
  EXPECT_EQ(w.p.link.reply_text, "OK");
}

}  // namespace
}  // namespace stellacq
