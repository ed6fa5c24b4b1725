// Replies as slow controllers and USB-serial adapters deliver them: a mount
// whose characters arrive at set times on the clock (pauses, slow lines,
// 16 ms chunks, late, lost and endless replies), polled by the telescope
// window; a timed move on a line that sends at 9600 baud; and the Mount on
// its own with the tail of a reply it gave up.
#include <gtest/gtest.h>

#include <algorithm>
#include <deque>

#include "telescope/mount.h"
#include "telescope/telescope.h"
#include "test_support/world.h"

namespace stellacq {
namespace {

constexpr const char* kRa = "05:35:17#";
constexpr const char* kDec = "-05*23'24#";

// How the mount sends a reply: `delay_us` after the query, one character
// every `char_us`, a pause after `pause_after` characters, characters handed
// over in chunks at multiples of `chunk_us`; or an endless stream of 'x'.
// The reply to query number `lost_reply` (counting from 0) is never sent;
// that of `lost_hash` comes without its "#".
struct Pacing {
  const char* name;
  std::int64_t delay_us = 1000;
  std::int64_t char_us = 1042;  // 9600 baud
  int pause_after = 0;
  std::int64_t pause_us = 0;
  std::int64_t chunk_us = 0;
  bool endless = false;
  int lost_reply = -1;
  int lost_hash = -1;
};

// A mount answering "#:GR#" and "#:GD#" in order, one reply after the other,
// at the pace given, on a clock that busy counts move. What is sent leaves
// at the same pace, after what was sent before it.
struct PacedLine final : SerialLine {
  PacedLine(ManualClock& clock, const Pacing& pacing) : clock_(clock), pacing_(pacing) {}
  void set_port_number(int com) override { com_ = com; }
  int port_number() const override { return com_; }
  void set_settings(const std::string&) override {}
  LineError open(std::string* = nullptr) override {
    open_ = true;
    return LineError::None;
  }
  void close() override { open_ = false; }
  bool is_open() const override { return open_; }
  void discard_input() override { take_received(); }
  LineError send(const std::string& text) override {
    const std::int64_t now = clock_.monotonic_value_us;
    sending_until_ = std::max(now, sending_until_) + std::ssize(text) * pacing_.char_us;
    arrived.emplace_back(text, sending_until_);
    const char* reply = text == "#:GR#\r\n" ? kRa : text == "#:GD#\r\n" ? kDec : nullptr;
    if (reply == nullptr || pacing_.endless) return LineError::None;
    const int query = queries_++;
    if (query == pacing_.lost_reply) return LineError::None;
    std::int64_t t = std::max(now + pacing_.delay_us, free_at_);
    for (int i = 0; reply[i] != '\0'; ++i) {
      if (reply[i] == '#' && query == pacing_.lost_hash) break;
      if (i > 0 && i == pacing_.pause_after) t += pacing_.pause_us;
      t += pacing_.char_us;
      const std::int64_t seen = pacing_.chunk_us > 0 ? (t / pacing_.chunk_us + 1) * pacing_.chunk_us : t;
      due_.push_back({seen, reply[i]});
    }
    free_at_ = t;
    return LineError::None;
  }
  std::string take_received() override {
    const std::int64_t now = clock_.monotonic_value_us;
    std::string out;
    if (pacing_.endless) {
      for (; streamed_us_ <= now; streamed_us_ += 1000) out += 'x';
      return out;
    }
    while (!due_.empty() && due_.front().first <= now) {
      out += due_.front().second;
      due_.pop_front();
    }
    return out;
  }
  LineError drain() override {
    clock_.advance_us(std::max<std::int64_t>(0, sending_until_ - clock_.monotonic_value_us));
    return LineError::None;
  }
  std::string device_name() const override { return "/dev/ttyUSB0"; }

  // Each text sent and when its last character reached the mount.
  std::vector<std::pair<std::string, std::int64_t>> arrived;

 private:
  ManualClock& clock_;
  Pacing pacing_;
  int com_ = 0;
  bool open_ = false;
  std::deque<std::pair<std::int64_t, char>> due_;
  std::int64_t free_at_ = 0;
  std::int64_t streamed_us_ = 0;
  std::int64_t sending_until_ = 0;
  int queries_ = 0;
};

struct PacedWorld : testing::TestSeams {
  explicit PacedWorld(const Pacing& pacing) : line(clock, pacing) {
    p.settings.com_port = 1;
    busy.on_count = [this](std::int64_t us) { clock.advance_us(us); };
  }
  // Opens the window and runs `ticks` polling ticks half a second apart;
  // the fields after each.
  std::vector<std::pair<std::string, std::string>> poll(int ticks) {
    std::vector<std::pair<std::string, std::string>> shown;
    p.telescope.telescope_window_open();
    for (int i = 0; i < ticks; ++i) {
      p.telescope.telescope_window_tick();
      shown.emplace_back(p.telescope.state().ra_text, p.telescope.state().dec_text);
      clock.advance_us(500'000);
    }
    return shown;
  }
  testing::OfflinePort port;
  PacedLine line;
  Program p{on(port, line)};
};

TEST(PacedReplies, FieldsShowOnlyWholeRepliesOfTheirOwnQuery) {
  struct Case {
    Pacing pacing;
    bool shown_at_once;  // both fields show their reply from the first tick on
  };
  const Case cases[] = {
      {{.name = "paused 60 ms after 4 characters", .pause_after = 4, .pause_us = 60'000}, true},
      {{.name = "30 ms a character", .char_us = 30'000}, true},
      {{.name = "USB chunks 16 ms apart", .chunk_us = 16'000}, true},
      {{.name = "1.15 s late", .delay_us = 1'150'000}, false},
      {{.name = "one character a second", .char_us = 1'000'000}, false},
      {{.name = "endless stream", .endless = true}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.pacing.name);
    PacedWorld w(c.pacing);
    const auto shown = w.poll(40);
    for (const auto& [ra, dec] : shown) {
      EXPECT_TRUE(ra.empty() || ra == kRa) << ra;
      EXPECT_TRUE(dec.empty() || dec == kDec) << dec;
      EXPECT_TRUE(!c.shown_at_once || (ra == kRa && dec == kDec)) << ra << dec;
    }
    // What the user reads while the mount is too slow for the limit.
    if (!c.shown_at_once) {
      const std::string& status = w.ui.last_status();
      EXPECT_TRUE(status.starts_with(" 望遠鏡が応答") || status.starts_with(" 望遠鏡の応答")) << status;
    }
  }
}

// One reply lost, or the "#" of one: the fields show whole replies again
// within 3 s and keep them, and the status line tells of the outage once.
TEST(PacedReplies, FieldsComeBackAfterALostReplyOrHash) {
  const Pacing cases[] = {{.name = "third reply lost", .lost_reply = 2},
                          {.name = "third reply without its #", .lost_hash = 2}};
  for (const Pacing& pacing : cases) {
    SCOPED_TRACE(pacing.name);
    PacedWorld w(pacing);
    w.p.telescope.telescope_window_open();
    int shown = 0, lost_again = 0;
    std::int64_t lost_at = -1, back_at = -1;
    for (int tick = 0; tick < 600; ++tick) {
      const std::int64_t started = w.clock.monotonic_value_us;
      w.p.telescope.telescope_window_tick();
      const std::string& ra = w.p.telescope.state().ra_text;
      const std::string& dec = w.p.telescope.state().dec_text;
      EXPECT_TRUE(ra.empty() || ra == kRa) << ra;
      EXPECT_TRUE(dec.empty() || dec == kDec) << dec;
      if (ra == kRa && dec == kDec) {
        ++shown;
        if (lost_at >= 0 && back_at < 0) back_at = w.clock.monotonic_value_us;
      } else if (lost_at < 0) {
        lost_at = started;
      } else if (back_at >= 0) {
        ++lost_again;  // the fields must stay once back
      }
      w.clock.advance_us(500'000);
    }
    EXPECT_GE(shown, 595);
    EXPECT_EQ(lost_again, 0);
    EXPECT_GE(lost_at, 0);
    EXPECT_GE(back_at, 0);
    EXPECT_LE(back_at - lost_at, 3'000'000) << "lost at " << lost_at << ", back at " << back_at;
    const auto outage = [](const std::string& s) {
      return s.starts_with(" 望遠鏡が応答しません") || s.starts_with(" 望遠鏡の応答が途中で切れました");
    };
    EXPECT_EQ(std::ranges::count_if(w.ui.statuses, outage), 1);
  }
}

// The four stops of a fresh open take 29 ms to leave at 9600 baud: a timed
// move starts counting only once they have, so the mount moves for the
// planned length, also a move shorter than they take.
TEST(PacedReplies, AMoveAfterAFreshOpenLastsItsPlannedLengthAtTheMount) {
  for (const int amount : {10, 20, 100}) {
    PacedWorld w({.name = "9600 baud"});
    w.p.settings.x_tracking_factor = 1000, w.p.settings.x_move_repeat = 1;  // a millisecond a unit of amount
    ASSERT_TRUE(w.p.telescope.open_link_for_guiding());
    EXPECT_EQ(w.p.telescope.timed_move(Direction::Right, amount), MoveEnd::Done);
    const auto& got = w.line.arrived;
    ASSERT_EQ(got.size(), 6u);
    EXPECT_EQ(got[4].first + got[5].first, "#:Mw#\r\n#:Qw#\r\n");
    EXPECT_NEAR(got[5].second - got[4].second, amount * 1000 + 1, 1000) << amount;
  }
}

// A controller's degree mark is 0xDF in 8-bit text; line breaks and other
// control characters in a reply would break the field's one line.
TEST(PacedReplies, ShownAsOneLineWithTheDegreeSign) {
  const struct {
    std::string reply;
    const char* shown;
  } cases[] = {
      {"-05\xDF"
       "23'24#",
       "-05°23'24#"},
      {"-05*23#", "-05*23#"},  // low precision, as it comes
      {"05:35\r\n:17#", "05:35  :17#"},
      {"\xB1"
       "05#",
       "±05#"},  // other 8-bit characters are Latin-1
  };
  for (const auto& c : cases) {
    testing::World w;
    w.p.settings.com_port = 1;
    w.serial.on_send = [&](const std::string& text) {
      if (text == "#:GR#\r\n") w.serial.incoming.push_back(kRa);
      if (text == "#:GD#\r\n") w.serial.incoming.push_back(c.reply);
    };
    w.p.telescope.telescope_window_open();
    w.p.telescope.telescope_window_tick();
    EXPECT_EQ(w.p.telescope.state().dec_text, c.shown);
  }
}

// A reply given up is still owed: its tail, even with its "#", never ends
// the next query's reply.
TEST(MountService, TheTailOfAReplyGivenUpIsNotTheNextReply) {
  ManualClock clock;
  RecordingBusyCount busy;
  busy.on_count = [&](std::int64_t n) { clock.advance_us(n); };
  testing::RecordingSerialLine line;
  Mount mount(line, busy, clock);
  ASSERT_EQ(mount.open(1), LineError::None);
  line.incoming = {"05:3"};
  EXPECT_EQ(mount.query_ra().end, ReplyEnd::Incomplete);
  // Nothing more before the next send; then the rest of the first reply.
  line.incoming = {"", "5:17#", "-05*2", "3'24#"};
  EXPECT_EQ(mount.query_dec().text, "-05*23'24#");
}

}  // namespace
}  // namespace stellacq
