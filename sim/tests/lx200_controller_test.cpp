// The simulated mount's LX200 controller: its commands byte for byte, its
// parser, the motions it starts, its pace on the line, its backlog, and the
// reply faults it offers to test clients.
#include "sim/lx200_controller.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace stellacq {
namespace {

// The controller on steady axes at 5h35m17s -5d23'24".
struct Bench {
  explicit Bench(const sim::Lx200Options& options = {}) : mount(clock, axes, options) {
    clock.now_value = {2024, 3, 14, 21, 4, 5};
    axes.options().periodic_error_arcsec = 0;
    axes.options().dec_drift_arcsec_per_s = 0;
    mount.on_unknown_command([this](const std::string& c) { unknown.push_back(c); });
  }
  // Sends, waits `seconds`, and returns what came back meanwhile.
  std::string exchange(std::string_view bytes, double seconds = 1.0) {
    mount.receive(bytes);
    clock.advance_us(static_cast<std::int64_t>(seconds * 1e6));
    return mount.take_output();
  }
  ManualClock clock;
  sim::MountAxes axes{clock, 83.82, -5.39};
  sim::Lx200Controller mount;
  std::vector<std::string> unknown;
};

// Each row on a fresh mount at 5h35m17s -5d23'24": `before` first (its
// replies dropped), then `sent` and exactly these bytes back.
TEST(Lx200Controller, AnswersEachCommandByteForByte) {
  struct Row {
    const char* before;
    const char* sent;
    const char* reply;
  };
  const Row rows[] = {
      {"", "\x06", "P"},
      {"", ":GR#", "05:35:17#"},
      {"", ":GD#", "-05*23'24#"},
      {":U#", ":GR#:GD#", "05:35.3#-05*23#"},         // low precision
      {":U#:U#", ":GR#:GD#", "05:35:17#-05*23'24#"},  // toggled back
      {"", ":Gc#", "24#"},
      {"", ":GM#:GN#:GO#:GP#", "STELLACQ#Site2#Site3#Site4#"},
      {"", ":Gt#", "+35*41#"},
      {"", ":Gg#", "220*14#"},  // 139d46' east is 220d14' west
      {"", ":GG#", "-09#"},     // added to local time gives UTC
      {"", ":GL#", "21:04:05#"},
      {"", ":GC#", "03/14/24#"},
      {"", ":RG#:RC#:RM#:RS#:Mn#:Ms#:Me#:Mw#:Qn#:Qs#:Qe#:Qw#:Q#:U#:AP#", ""},
      {"", ":Sr 05:36:00#:Sd -04*00:00#", "11"},
      {"", ":Sr 24:00:00#:Sd +91*00:00#:Sd -04*60:00#", "000"},
      {"", ":St +035*41#:Sg 220*14#:SG -09#:SL 21:04:05#", "1111"},
      {"", ":SC 03/14/24#", "1Updating        planetary data#                              #"},
      {"", ":D#", "#"},
      {":Sr 12:00:00#:Sd +00*00:00#:MS#", ":D#", "|#"},  // 96 degrees to go at 3 a second
      {"", ":MS#", "1Object Below Horizon#"},            // no target yet
      {":Sr 05:36:00#:Sd -04*00:00#", ":MS#", "0"},
      {"", ":CM#", "Coordinates     matched.        #"},
      // A target in each form clients send, synced and read back.
      {":Sr 05:36:00#:Sd -04*00:00#:CM#", ":GR#:GD#", "05:36:00#-04*00'00#"},
      {":Sr06:00:00#:Sd-02:00:00#:CM#", ":GR#:GD#", "06:00:00#-02*00'00#"},
      {":Sr 06:00.5#:Sd +02\xDF"
       "30#:CM#",
       ":GR#:GD#", "06:00:30#+02*30'00#"},
      {":Sr 00:00:00#:Sd -00*00:01#:CM#", ":GR#:GD#", "00:00:00#-00*00'01#"},
      // Rounding carries into the next field and past 24h; no "-00" for zero.
      {":Sr 23:59:59.9#:Sd -00*00:00.1#:CM#", ":GR#:GD#", "00:00:00#+00*00'00#"},
      {":Sr 12:30:00#:Sd +89*59:59.9#:CM#", ":GR#:GD#", "12:30:00#+90*00'00#"},
      {":Sr 23:00:00#:Sd -90*00:00#:CM#", ":GR#:GD#", "23:00:00#-90*00'00#"},
      {"", ":Xy#:GX#:Mx#:Mgn#", ""},  // unknown: no reply
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(std::string(r.before) + r.sent);
    Bench b;
    b.exchange(r.before);
    EXPECT_EQ(b.exchange(r.sent), r.reply);
  }
}

TEST(Lx200Controller, CollectsEachCommandFromColonToHash) {
  static const std::string sixty_x(60, 'x');
  const char* const kSixtyX = sixty_x.c_str();
  struct Row {
    std::vector<const char*> pieces;  // as they arrive, one receive each
    const char* reply;
    std::vector<std::string> unknown;
  };
  const Row rows[] = {
      {{"\r\n##\n:GR#\r\n\r\n"}, "05:35:17#", {}},
      {{":Sr 05:3", "6:00#", ":G", "R#"}, "105:35:17#", {}},  // a ':' inside a parameter, split reads
      {{":GR", "\r\n#"}, "", {":GR\r\n#"}},                   // CR LF inside a command are its own
      {{":", kSixtyX, "#:GD#"}, "-05*23'24#", {":" + std::string(41, 'x') + "...#"}},  // too long: dropped
      {{":XY#\x06"}, "P", {":XY#"}},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.reply);
    Bench b;
    std::string reply;
    for (const char* piece : r.pieces) reply += b.exchange(piece, 0.1);
    EXPECT_EQ(reply, r.reply);
    EXPECT_EQ(b.unknown, r.unknown);
  }
}

// Each row on fresh axes: the commands, then 2 s of motion, read halfway.
TEST(Lx200Controller, MovesAtTheSelectedRatePulsesAtTheGuideRateAndSlewsToTheTarget) {
  const double sidereal_deg = sim::kSiderealArcsecPerS / 3600;
  struct Row {
    const char* commands;
    double ra_deg, dec_deg;  // moved in 2 s
  };
  const Row rows[] = {
      {":Mn#", 0, 2 * 0.5 * sidereal_deg},  // the guide rate until a rate is chosen
      {":RC#:Me#", 2 * 8 * sidereal_deg, 0},
      {":RM#:Ms#", 0, -2 * 64 * sidereal_deg},
      {":RS#:Mw#", -2 * 3.0, 0},
      {":RS#:RG#:Mn#:Me#", 2 * 0.5 * sidereal_deg, 2 * 0.5 * sidereal_deg},
      {":RS#:Mgn1500#", 0, 1.5 * 0.5 * sidereal_deg},  // a pulse runs 1.5 s at the guide rate
      {":RC#:Mn#:Q#", 0, 0},
      {":Mn#:Me#:Qn#", 2 * 0.5 * sidereal_deg, 0},
      {":Mgn1000#:Q#", 0, 0},
      {":Sr 05:35:16.8#:Sd -03*23:24#:MS#", 0, 2.0},  // 83.82 -3.39 at 3 degrees a second
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.commands);
    Bench b;
    b.exchange(r.commands);
    b.axes.ra_deg();  // what has run so far is counted, what runs on counts on
    b.clock.advance_us(1'000'000);
    EXPECT_NEAR(b.axes.ra_deg() - 83.82, r.ra_deg, 1e-9);
    EXPECT_NEAR(b.axes.dec_deg() + 5.39, r.dec_deg, 1e-9);
  }
}

// Two queries at once: the second reply queues behind the first, one
// character every 10 bit times.
TEST(Lx200Controller, AnswersOneCharacterPerTenBitTimes) {
  constexpr double kCharUs = 10.0e6 / 9600;
  Bench b;
  b.mount.receive("#:GR#\r\n#:GD#\r\n");
  // Character times waited (a microsecond more unless the sum already lies
  // past the character's end), and what came meanwhile.
  for (const auto& [chars, came] : {std::pair{0, ""}, {1, "0"}, {8, "5:35:17#"}, {10, "-05*23'24#"}}) {
    b.clock.advance_us(static_cast<std::int64_t>(chars * kCharUs) + (chars != 8));
    EXPECT_EQ(b.mount.take_output(), came) << chars;
  }
}

// A client that writes 8 MB of queries in 2 s and reads every 50 ms: the
// mount keeps its record and its queue small, answers at the line's pace in
// whole replies, and a query after the flood is answered at once.
TEST(Lx200Controller, AFloodOfQueriesKeepsMemoryFlatAndRepliesFresh) {
  Bench b;
  std::string piece;
  while (piece.size() < 4096) piece += ":GR#";
  std::string replies;
  std::size_t most_pending = 0;
  for (int ms = 1; ms <= 2000; ++ms) {
    b.mount.receive(piece);  // 4 KB a millisecond
    b.clock.advance_us(1000);
    if (ms % 50 == 0) replies += b.mount.take_output();
    most_pending = std::max(most_pending, b.mount.output_pending());
  }
  EXPECT_LT(b.mount.received().capacity(), std::size_t{1} << 20);
  EXPECT_LT(most_pending, std::size_t{1024});
  replies += b.exchange("", 0.3);                // what the controller still held
  EXPECT_GT(replies.size(), std::size_t{1900});  // the line kept busy: 960 characters a second
  EXPECT_EQ(replies.size() % 9, 0u);
  for (std::size_t at = 0; at < replies.size(); at += 9) ASSERT_EQ(replies.substr(at, 9), "05:35:17#") << at;
  EXPECT_EQ(b.exchange(":GVP#", 0.02), "SkySensor2000PC#");
}

// The faults: a delay before every reply, a pause inside it, Meade's own
// degree mark, low precision from power-on, and a controller that answers
// nothing.
TEST(Lx200Controller, FaultsDelayPauseDegreeMarkPrecisionAndSilence) {
  Bench b(
      {.high_precision = false, .degree_mark = '\xDF', .reply_delay_us = 20'000, .reply_pause_us = 50'000});
  const double char_s = 10.0 / 9600;
  EXPECT_EQ(b.exchange(":GD#", 0.020), "");
  EXPECT_EQ(b.exchange("", 3.5 * char_s), "-05");  // the first half, then the pause
  EXPECT_EQ(b.exchange("", 0.049), "");
  EXPECT_EQ(b.exchange("", 0.002 + 3 * char_s),
            "\xDF"
            "23#");
  EXPECT_EQ(b.exchange(":U#:GD#"),
            "-05\xDF"
            "23'24#");

  b.mount.options().powered = false;
  EXPECT_EQ(b.exchange("\x06#:GR#\r\n:Sr 05:36:00#"), "");
}

}  // namespace
}  // namespace stellacq
