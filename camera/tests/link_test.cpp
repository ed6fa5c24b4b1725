// Register-level behaviour of the link primitives against the simulated unit.
#include "camera/link.h"

#include <gtest/gtest.h>

#include "camera/tests/sim_world.h"

namespace stellacq {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(LinkWrite, CommandGoesOutByteByByteWithOneStrobeEach) {
  test::SimWorld w;
  w.p.link.command_text = "T";
  ASSERT_TRUE(send_command(w.p));
  EXPECT_EQ(w.traffic().received, (Bytes{0x54, 0x0D}));
  EXPECT_EQ(w.traffic().strobes, 2);
  EXPECT_EQ(w.traffic().controls, (Bytes{0x04, 0x05, 0x04, 0x05, 0x04}));
  EXPECT_EQ(w.p.link.command_text, "T\r");
  EXPECT_EQ(w.traffic().commands, (std::vector<std::string>{"T"}));
}

TEST(LinkWrite, CountIsTwoBytesLowFirstWithoutCarriageReturn) {
  test::SimWorld w;
  w.p.link.count_low = 0x00;
  w.p.link.count_high = 0x78;
  ASSERT_TRUE(send_count(w.p));
  EXPECT_EQ(w.traffic().received, (Bytes{0x00, 0x78}));
  EXPECT_EQ(w.traffic().controls, (Bytes{0x04, 0x05, 0x04, 0x05, 0x04}));
}

struct ReplyCase {
  const char* name;
  int mode;
  std::string bytes;     // what the unit sends
  std::string expected;  // reply_text afterwards
  std::size_t taken;     // bytes the PC took
};

TEST(LinkRead, RepliesEndAtTheirTerminator) {
  const ReplyCase cases[] = {
      {"framed temperature", kReplyFramed, "-100\xDB", "-100", 5},
      {"lone terminator", kReplyFramed, "\xDB", "", 1},
      {"framed stops at first terminator", kReplyFramed,
       "AB\xDB"
       "C\xDB",
       "AB", 3},
      {"line keeps CR LF", kReplyLine, "768 512\r\n", "768 512\r\n", 9},
      {"line ignores 0xDB", kReplyLine,
       "1\xDB"
       "2\n",
       "1\xDB"
       "2\n",
       4},
  };
  for (const ReplyCase& c : cases) {
    SCOPED_TRACE(c.name);
    test::SimWorld w;
    w.unit.queue_output(c.bytes);
    ASSERT_TRUE(read_reply(w.p, c.mode));
    EXPECT_EQ(w.p.link.reply_text, c.expected);
    EXPECT_EQ(w.traffic().sent.size(), c.taken);
    EXPECT_EQ(w.control_register(), kControlIdle);
  }
}

TEST(LinkRead, EndlessReplyIsCutOff) {
  test::SimWorld w;
  w.unit.queue_output(std::string(kMaxReplyBytes + 100, 'A'));
  w.p.link.command_text = "T";
  EXPECT_FALSE(read_reply(w.p, kReplyFramed));
  EXPECT_EQ(w.p.link.reply_text.size(), kMaxReplyBytes);
  EXPECT_TRUE(w.p.link.unit_silent);
  EXPECT_EQ(w.control_register(), kControlIdle);
  EXPECT_EQ(w.ui.last_status().rfind(" カメラの応答が不正です（「T」への応答が終わりません）", 0), 0u)
      << w.ui.last_status();
}

TEST(LinkRead, ReadByteTakesExactlyOneByteWhateverItIs) {
  for (const std::string& b : {std::string("\xDB"), std::string("\n"), std::string("K")}) {
    test::SimWorld w;
    w.unit.queue_output(b + "Z");
    ASSERT_TRUE(read_byte(w.p));
    EXPECT_EQ(w.p.link.reply_text, b);
    EXPECT_EQ(w.traffic().sent, (Bytes{static_cast<std::uint8_t>(b[0])}));
    EXPECT_EQ(w.traffic().controls, (Bytes{0x26, 0x27, 0x26, 0x04}));
  }
}

TEST(LinkRead, LineReplyParsesIntoTwoNumbers) {
  test::SimWorld w;
  w.unit.queue_output("768 512\r\n");
  ASSERT_TRUE(read_reply(w.p, kReplyLine));
  const TwoNumbers n = parse_two_numbers(w.p.link.reply_text);
  EXPECT_EQ(n.first, 768);
  EXPECT_EQ(n.second, 512);
}

TEST(LinkParse, TwoNumberReplies) {
  struct Case {
    const char* reply;
    double first, second;
  };
  const Case cases[] = {
      {"1536 1024\r\n", 1536, 1024},
      {"384 256", 384, 256},
      {"abc def", 0, 0},
      {"42", 42, 0},
      {"7 x", 7, 0},
      {"", 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.reply);
    const TwoNumbers n = parse_two_numbers(c.reply);
    EXPECT_EQ(n.first, c.first);
    EXPECT_EQ(n.second, c.second);
  }
}

TEST(LinkSample, RawPairsDecodeWithTheXorMask) {
  struct Case {
    std::uint8_t low, high;
    std::int32_t value;
  };
  const Case cases[] = {{0x00, 0x00, 32767}, {0xFF, 0x7F, 0}, {0x00, 0x80, 65535}, {0xFF, 0xFF, 32768}};
  for (const Case& c : cases) EXPECT_EQ(decode_sample(c.low, c.high), c.value);
}

TEST(LinkExchange, ControlRegisterIdlesBetweenExchanges) {
  test::SimWorld w;
  for (const char* command : {"T", "F 99", "N 2 2"}) {
    w.p.link.command_text = command;
    ASSERT_TRUE(send_command(w.p));
    EXPECT_EQ(w.control_register(), kControlIdle);
    ASSERT_TRUE(read_reply(w.p, kReplyFramed));
    EXPECT_EQ(w.control_register(), kControlIdle);
  }
  EXPECT_EQ(w.p.link.reply_text, "OK");
}

TEST(LinkRefusal, WithoutAChosenPortNothingTouchesThePort) {
  test::SimWorld w;
  w.p.ports = {};
  w.p.link.command_text = "T";
  EXPECT_FALSE(send_command(w.p));
  EXPECT_FALSE(read_reply(w.p, kReplyFramed));
  EXPECT_FALSE(read_byte(w.p));
  EXPECT_FALSE(send_count(w.p));
  EXPECT_TRUE(w.traffic().controls.empty());
  EXPECT_EQ(w.ui.last_status(), kChoosePortMessage);
  EXPECT_FALSE(w.p.link.unit_silent);
}

TEST(LinkTimeout, SilentUnitEndsEveryPrimitiveWithAMessage) {
  struct Case {
    const char* name;
    bool (*run)(Program&);
    const char* names;  // part of the status text
  };
  const Case cases[] = {
      {"command", [](Program& p) { return send_command(p); }, "「T」の送信中"},
      {"reply", [](Program& p) { return read_reply(p, kReplyFramed); }, "「T」への応答待ち"},
      {"byte", [](Program& p) { return read_byte(p); }, "応答バイト"},
      {"count", [](Program& p) { return send_count(p); }, "ブロック数"},
      {"sample",
       [](Program& p) {
         std::int32_t s;
         return read_sample(p, s);
       },
       "画像データ"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    test::SimWorld w;
    w.unit.options().powered = false;
    w.p.link.command_text = "T";
    EXPECT_FALSE(c.run(w.p));
    EXPECT_TRUE(w.p.link.unit_silent);
    EXPECT_EQ(w.traffic().controls.back(), kControlIdle);
    const std::string& status = w.ui.last_status();
    EXPECT_EQ(status.rfind(" カメラが応答しません", 0), 0u) << status;
    EXPECT_NE(status.find(c.names), std::string::npos) << status;
    // The wait ended near its limit, not long after it.
    EXPECT_LT(w.clock.monotonic_value_us, 2 * kHandshakeLimitUs);
  }
}

TEST(LinkTimeout, ExposureReplyWaitsAsLongAsTheCallerAllows) {
  sim::ControlUnitOptions o = test::SimWorld::default_options();
  o.instant_exposures = false;
  test::SimWorld w(o);
  w.p.link.command_text = "S 60000";
  ASSERT_TRUE(send_command(w.p) && read_reply(w.p, kReplyFramed));
  w.p.link.command_text = "V";
  ASSERT_TRUE(send_command(w.p));
  // The unit's clock stands still: the exposure never ends within 1 s.
  EXPECT_FALSE(read_reply(w.p, kReplyFramed, 1'000'000));
  EXPECT_TRUE(w.p.link.unit_silent);
  // Once the unit's minute has passed, the reply is there.
  w.unit_clock.advance_us(60'000'000);
  ASSERT_TRUE(read_reply(w.p, kReplyFramed, 70'000'000));
  EXPECT_EQ(w.p.link.reply_text, "OK");
}

}  // namespace
}  // namespace stellacq
