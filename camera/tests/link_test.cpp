// Register-level behaviour of the link primitives against the simulated unit.
#include "camera/link.h"

#include <gtest/gtest.h>

#include <optional>
#include <tuple>

#include "camera/connection.h"
#include "camera/failure_text.h"
#include "test_support/world.h"

namespace stellacq {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(LinkWrite, CommandGoesOutByteByByteWithOneStrobeEach) {
  testing::SimWorld w;
  CameraPort port = testing::camera_port(w);
  w.p.link.command_text = "T";
  ASSERT_EQ(send_command(port, w.p.link), LinkResult::Ok);
  EXPECT_EQ(w.traffic().received, (Bytes{0x54, 0x0D}));
  EXPECT_EQ(w.traffic().controls, (Bytes{0x04, 0x05, 0x04, 0x05, 0x04}));
}

// read_byte instead of read_reply.
constexpr std::optional<ReplyMode> kByte;

TEST(LinkRead, RepliesEndAtTheirTerminator) {
  // Mode, bytes the unit sends, reply_text afterwards, bytes the PC took.
  using Row = std::tuple<std::optional<ReplyMode>, std::string, std::string, std::size_t>;
  // (\333 is the frame end 0xDB.)
  const Row cases[] = {
      {ReplyMode::Framed, "-100\333", "-100", 5},   {ReplyMode::Framed, "\333", "", 1},
      {ReplyMode::Framed, "AB\333C\333", "AB", 3},  {ReplyMode::Line, "768 512\r\n", "768 512\r\n", 9},
      {ReplyMode::Line, "1\3332\n", "1\3332\n", 4}, {kByte, "\333Z", "\333", 1},
  };
  for (const auto& [mode, bytes, expected, taken] : cases) {
    SCOPED_TRACE(bytes);
    testing::SimWorld w;
    CameraPort port = testing::camera_port(w);
    w.unit().queue_output(bytes);
    ASSERT_EQ(mode ? read_reply(port, w.p.link, *mode) : read_byte(port, w.p.link), LinkResult::Ok);
    EXPECT_EQ(std::tuple(w.p.link.reply_text, w.traffic().sent.size()), std::tuple(expected, taken));
    // 0x26, then 0x27 and 0x26 for every byte taken, and idle at the end.
    Bytes controls{kControlReceive};
    for (std::size_t i = 0; i < taken; ++i) controls.insert(controls.end(), {kControlTaken, kControlReceive});
    controls.push_back(kControlIdle);
    EXPECT_EQ(w.traffic().controls, controls);
  }
}

TEST(LinkRead, EndlessReplyIsCutOff) {
  testing::SimWorld w;
  w.unit().options().temperature_reply = std::string(kMaxReplyBytes + 100, 'A');
  w.p.link.camera_connected = 1;
  w.p.connection.Timer1_Timer();
  EXPECT_EQ(std::tuple(w.p.link.reply_text.size(), w.p.link.unit_silent, w.control_register()),
            std::tuple(kMaxReplyBytes, true, kControlIdle));
  EXPECT_EQ(w.ui.last_status().rfind(" カメラの応答が不正です（「T」への応答が終わりません）", 0), 0u);
}

// A long wait tells how long it has waited at most once per 100 ms of clock
// time and only while it waits; a reply that comes at once tells nothing.
TEST(LinkProgress, ALongWaitTellsItsTimeEveryTenthOfASecond) {
  testing::SimWorld w;
  w.clock.auto_step_us = 30'000;
  CameraPort port = testing::camera_port(w);
  std::vector<std::int64_t> waited;
  port.on_wait = [&](std::int64_t us) { waited.push_back(us); };
  w.unit().queue_output("OK\333");
  ASSERT_EQ(read_reply(port, w.p.link, ReplyMode::Framed), LinkResult::Ok);
  EXPECT_TRUE(waited.empty());

  EXPECT_EQ(read_reply(port, w.p.link, ReplyMode::Framed, 1'000'000), LinkResult::ReplyTimeout);
  ASSERT_EQ(waited.size(), 8u);  // 120, 240, ... 960 ms
  EXPECT_GE(waited.front(), kProgressIntervalUs);
  for (std::size_t i = 1; i < waited.size(); ++i) EXPECT_GE(waited[i] - waited[i - 1], kProgressIntervalUs);
  EXPECT_LT(waited.back(), 1'000'000);
}

TEST(LinkDecode, SamplesOnTheWire) {
  EXPECT_EQ(std::tuple(decode_sample(0x00, 0x00), decode_sample(0xFF, 0x7F), decode_sample(0x00, 0x80),
                       decode_sample(0xFF, 0xFF)),
            std::tuple(32767, 0, 65535, 32768));
}

TEST(LinkTimeout, SilentUnitEndsEveryPrimitiveWithAMessage) {
  // Primitive, what it returns, part of the status text the operations show.
  using Run = LinkResult (*)(CameraPort&, CameraLinkState&);
  using Row = std::tuple<Run, LinkResult, const char*>;
  const Row cases[] = {{[](CameraPort& c, CameraLinkState& l) { return send_command(c, l); },
                        LinkResult::SendTimeout, "「T」の送信中"},
                       {[](CameraPort& c, CameraLinkState& l) { return read_reply(c, l, ReplyMode::Framed); },
                        LinkResult::ReplyTimeout, "「T」への応答待ち"},
                       {read_byte, LinkResult::ByteTimeout, "応答バイト"},
                       {[](CameraPort& c, CameraLinkState& l) { return send_count(c, l); },
                        LinkResult::CountTimeout, "ブロック数"},
                       {[](CameraPort& c, CameraLinkState&) {
                          std::int32_t sample;
                          return read_sample(c, sample);
                        },
                        LinkResult::SampleTimeout, "画像データ"}};
  for (const auto& [run, result, names] : cases) {
    testing::SimWorld w;
    CameraPort port = testing::camera_port(w);
    w.unit().options().powered = false;
    w.p.link.command_text = "T";
    const LinkResult r = run(port, w.p.link);
    EXPECT_EQ(r, result);
    EXPECT_FALSE(w.p.link.unit_silent);
    EXPECT_TRUE(w.ui.statuses.empty());  // the primitive tells nobody
    EXPECT_EQ(w.traffic().controls.back(), kControlIdle);
    // The wait ended near its limit, not long after it.
    EXPECT_LT(w.clock.monotonic_value_us, 2 * kHandshakeLimitUs);

    const std::string status = link_failure_text(r, w.p.link.command_text);
    EXPECT_EQ(status.rfind(" カメラが応答しません", 0), 0u) << status;
    EXPECT_NE(status.find(names), std::string::npos) << status;
  }
}

TEST(LinkTimeout, ExposureReplyComesAfterTheExposureTimeWithinTheCallersLimit) {
  sim::ObservatoryOptions o = testing::SimWorld::default_options();
  o.unit.instant_exposures = false;
  testing::SimWorld w(o);
  CameraPort port = testing::camera_port(w);
  ASSERT_TRUE(testing::exchange(w, "S 2000"));
  w.p.link.command_text = "V";
  ASSERT_EQ(send_command(port, w.p.link), LinkResult::Ok);
  w.unit_clock.advance_us(1'999'000);  // the unit's clock stands still while the PC waits
  const std::int64_t start = w.clock.monotonic_value_us;
  EXPECT_EQ(read_reply(port, w.p.link, ReplyMode::Framed, 10'000'000), LinkResult::ReplyTimeout);
  EXPECT_GE(w.clock.monotonic_value_us - start, 10'000'000);  // waited as long as allowed
  w.unit_clock.advance_us(1'000);
  ASSERT_EQ(read_reply(port, w.p.link, ReplyMode::Framed), LinkResult::Ok);
  EXPECT_EQ(w.p.link.reply_text, "OK");
}

}  // namespace
}  // namespace stellacq
