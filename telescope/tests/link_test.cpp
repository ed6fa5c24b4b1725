// The mount link through a recording serial line: bytes and busy counts in
// their order, reply collection, refusals on a closed or failing line, the
// shared line of the telescope window and the guiding step, and the
// telescope window's polling of a silent mount.
#include <gtest/gtest.h>

#include "telescope/mount_link.h"
#include "telescope/telescope.h"
#include "test_support/world.h"

namespace stellacq {
namespace {

using Events = std::vector<std::string>;

Events join(std::initializer_list<Events> parts);
// A line opened for a move or for the window stops motion in every direction.
Events stops() { return {"send #:Qn#\r\n", "send #:Qs#\r\n", "send #:Qe#\r\n", "send #:Qw#\r\n"}; }
const std::string kStopBytes = "#:Qn#\r\n#:Qs#\r\n#:Qe#\r\n#:Qw#\r\n";

// A world whose busy counts appear among the line's events.
struct LinkWorld : testing::World {
  LinkWorld() {
    p.settings.com_port = 1;
    busy.on_count = [this](std::int64_t n) { serial.events.push_back("count " + std::to_string(n)); };
  }
  // The events after the line was opened for the window or for guiding
  // and stopped in every direction.
  Events after_open() {
    Events e = serial.events;
    const Events opening = join({{"open COM1 9600,N,8,1"}, stops()});
    EXPECT_EQ(Events(e.begin(), e.begin() + std::min<std::ptrdiff_t>(5, std::ssize(e))), opening);
    e.erase(e.begin(), e.begin() + std::min<std::ptrdiff_t>(5, std::ssize(e)));
    return e;
  }
  // Answers "#:GR#" and "#:GD#" like a mount, each reply in one piece.
  void answer(const std::string& ra, const std::string& dec) {
    serial.on_send = [this, ra, dec](const std::string& text) {
      if (text == "#:GR#\r\n") serial.incoming.push_back(ra);
      if (text == "#:GD#\r\n") serial.incoming.push_back(dec);
    };
  }
};

Events counts(int n, std::int64_t each) {
  return Events(static_cast<std::size_t>(n), "count " + std::to_string(each));
}
Events join(std::initializer_list<Events> parts) {
  Events all;
  for (const Events& e : parts) all.insert(all.end(), e.begin(), e.end());
  return all;
}

TEST(TimedMove, SendsStartCountsAndStopWithTheStatusTexts) {
  struct Case {
    Direction direction;
    int amount;
    std::int32_t factor;
    double repeat;
    Events traffic;
    const char* status;
  };
  // clang-format off
  const Case cases[] = {
      {Direction::Left, 3, 10, 2, join({{"send #:Me#\r\n"}, counts(2, 31), {"send #:Qe#\r\n", "count 1000"}}),
       "move left 3( 10)"},
      {Direction::Up, 12, 30, 1, {"send #:Mn#\r\n", "count 361", "send #:Qn#\r\n", "count 1000"}, "move up 12( 30)"},
      // amount x factor = 0 still makes one count a round.
      {Direction::Down, 4, 0, 3, join({{"send #:Ms#\r\n"}, counts(3, 1), {"send #:Qs#\r\n", "count 1000"}}),
       "move down 4( 0)"},
      // A fractional repeat runs its whole rounds; a negative product moves for no time.
      {Direction::Right, -2, 5, 2.5,
       join({{"send #:Mw#\r\n"}, counts(2, 0), {"send #:Qw#\r\n", "count 1000"}}), "move right-2( 5)"},
      // 6e9 does not fit 32 bits: no wrap-around, cut to 60 s.
      {Direction::Right, 2'000'000, 3000, 1, {"send #:Mw#\r\n", "count 60000000", "send #:Qw#\r\n", "count 1000"},
       "move right 2000000( 3000)"},
  };
  // clang-format on
  for (const Case& c : cases) {
    LinkWorld w;
    const bool vertical = c.direction == Direction::Up || c.direction == Direction::Down;
    (vertical ? w.p.settings.y_tracking_factor : w.p.settings.x_tracking_factor) = c.factor;
    if (vertical)
      w.p.settings.y_move_repeat = static_cast<std::int16_t>(c.repeat);
    else
      w.p.settings.x_move_repeat = c.repeat;
    ASSERT_TRUE(w.p.telescope.open_link_for_guiding());
    w.serial.sent.clear();
    std::size_t sent_at_yield = 99;
    w.ui.on_yield = [&] { sent_at_yield = w.serial.sent.size(); };
    EXPECT_EQ(w.p.telescope.timed_move(c.direction, c.amount), MoveEnd::Done) << c.status;
    // The one yield comes before the start command.
    EXPECT_EQ(std::tuple(w.after_open(), w.ui.statuses, w.ui.yields, sent_at_yield),
              std::tuple(c.traffic, Events{c.status, std::string(c.status) + " stop"}, 1, 0u));
  }
}

// The windows are painted during a move's counts; a polling tick of the
// telescope window that falls into them sends nothing between start and stop.
TEST(TimedMove, PaintsDuringTheCountsAndHoldsThePollingBack) {
  LinkWorld w;
  w.p.settings.x_tracking_factor = 1000, w.p.settings.x_move_repeat = 1;
  w.answer("05:35:17#", "-05*23'24#");
  w.p.telescope.telescope_window_open();
  w.ui.on_progress = [&] { w.p.telescope.telescope_window_tick(); };
  ASSERT_TRUE(w.p.telescope.open_link_for_guiding());
  EXPECT_EQ(w.p.telescope.timed_move(Direction::Right, 5), MoveEnd::Done);
  EXPECT_EQ(w.after_open(), (Events{"send #:Mw#\r\n", "count 5001", "send #:Qw#\r\n", "count 1000"}));
  ASSERT_FALSE(w.ui.progress.empty());
  EXPECT_EQ(std::tuple(w.ui.progress.back().kind, w.ui.exchanges_ended), std::tuple(ExchangeKind::Move, 1));
}

TEST(TimedMove, ClosedOrFailingLine) {
  {  // Closed: nothing is sent, no time is spent, the status says why.
    LinkWorld w;
    EXPECT_EQ(w.p.telescope.timed_move(Direction::Left, 3), MoveEnd::NotSent);
    EXPECT_EQ(std::tuple(w.serial.sent, w.busy.calls, w.ui.last_status()),
              std::tuple("", 0, "move left 3( 0) 送信しませんでした: 望遠鏡のポートが開いていません"));
  }
  {  // The line fails after the start: the user hears that the mount may still move.
    LinkWorld w;
    ASSERT_TRUE(w.p.telescope.open_link_for_guiding());
    w.serial.on_send = [&](const std::string&) { w.serial.send_error = LineError::WriteFailed; };
    EXPECT_EQ(w.p.telescope.timed_move(Direction::Down, 0), MoveEnd::StopNotSent);
    EXPECT_EQ(w.serial.sent, kStopBytes + "#:Ms#\r\n");
    ASSERT_EQ(w.ui.boxes.size(), 1u);
    for (const char* part : {"#:Qs#", "動き続けているかもしれません"})
      EXPECT_NE(w.ui.boxes[0].text.find(part), std::string::npos) << w.ui.boxes[0].text;
  }
}

TEST(Query, CollectsTheReplyUpToItsHash) {
  struct Case {
    const char* name;
    std::deque<std::string> incoming;
    ReplyEnd end;
    std::string text;
  };
  const Case cases[] = {
      {"whole", {"12:34:56#"}, ReplyEnd::Complete, "12:34:56#"},
      {"in pieces", {"", "1", "2:34", "", "", ":56#"}, ReplyEnd::Complete, "12:34:56#"},
      {"more after the hash", {"+05*23'24#12"}, ReplyEnd::Complete, "+05*23'24#"},
      {"stops in the middle", {"12:3"}, ReplyEnd::Incomplete, "12:3"},
      {"garbled and long", {std::string(40, 'x')}, ReplyEnd::Incomplete, std::string(kMaxReplyLength, 'x')},
      {"none", {}, ReplyEnd::NoReply, ""},
  };
  for (const Case& c : cases) {
    LinkWorld w;
    ASSERT_EQ(w.p.telescope.mount().open(1), LineError::None);
    w.serial.incoming = c.incoming;
    const Reply reply = w.p.telescope.mount().query("#:GR#");
    EXPECT_EQ(std::tuple(reply.end, reply.text), std::tuple(c.end, c.text)) << c.name;
    EXPECT_EQ(Events(w.serial.events.begin() + 5, w.serial.events.begin() + 7),
              (Events{"discard", "send #:GR#\r\n"}))
        << c.name;
  }
  LinkWorld silent;
  ASSERT_EQ(silent.p.telescope.mount().open(1), LineError::None);
  silent.p.telescope.mount().query("#:GD#");
  // On a clock that stands still the reads end the wait: at least a second of counts.
  EXPECT_EQ(silent.busy.total, kQueryPolls * kPauseTickCounts);

  LinkWorld closed;
  const Reply refused = closed.p.telescope.mount().query("#:GR#");
  EXPECT_EQ(std::tuple(refused.end, refused.error, closed.serial.events.size()),
            std::tuple(ReplyEnd::NotSent, LineError::NotOpen, 0u));
}

TEST(TelescopeWindow, OpenPollsAndNudges) {
  LinkWorld w;
  w.answer("05:35:17#", "-05*23'24#");
  w.p.telescope.telescope_window_load();
  EXPECT_EQ(std::tuple(w.p.telescope.state().ra_text, w.p.telescope.state().dec_text),
            std::tuple("00:00:00", "+00d00'"));
  w.p.telescope.telescope_window_open();
  EXPECT_TRUE(w.after_open().empty());
  EXPECT_TRUE(w.p.telescope.state().polling);
  w.p.telescope.telescope_window_tick();
  EXPECT_EQ(
      std::tuple(w.p.telescope.state().ra_text, w.p.telescope.state().dec_text, w.serial.sent, w.ui.yields),
      std::tuple("05:35:17#", "-05*23'24#", kStopBytes + "#:GR#\r\n#:GD#\r\n", 1));

  w.serial.events.clear();
  w.p.telescope.telescope_window_nudge(Direction::Up);
  EXPECT_EQ(w.serial.events, join({{"send #:Mn#\r\n"}, counts(11, 100), {"send #:Qn#\r\n"}}));
  EXPECT_TRUE(w.p.telescope.state().polling);
}

TEST(TelescopeWindow, SilentMountIsProbedWithoutWaiting) {
  LinkWorld w;
  w.p.telescope.telescope_window_open();
  w.p.telescope.telescope_window_tick();  // one query waits its full limit, the second is skipped
  EXPECT_EQ(std::tuple(w.p.telescope.state().mount_silent, w.p.telescope.state().ra_text,
                       w.p.telescope.state().dec_text, w.busy.total),
            std::tuple(true, "", "", kQueryPolls * kPauseTickCounts));
  EXPECT_EQ(w.ui.last_status(),
            " 望遠鏡が応答しません (COM1 (/dev/ttyS0))。電源とケーブルを確かめてください");

  // While the unanswered query may still be answered, a tick only listens;
  // once the line has been quiet long enough, one probe goes out, which
  // costs no waiting.
  w.busy.total = 0;
  w.serial.sent.clear();
  w.clock.advance_us(kOwedReplyQuietUs - 1);
  w.p.telescope.telescope_window_tick();
  EXPECT_EQ(w.serial.sent, "");
  w.clock.advance_us(1);
  w.p.telescope.telescope_window_tick();
  w.p.telescope.telescope_window_tick();
  EXPECT_EQ(std::tuple(w.busy.total, w.serial.sent), std::tuple(0, "#:GR#\r\n"));

  // Characters without their "#" are no answer yet; the probe's whole
  // reply is, and the same tick polls the fields.
  w.serial.incoming = {"05:3"};
  w.p.telescope.telescope_window_tick();
  EXPECT_TRUE(w.p.telescope.state().mount_silent);
  w.serial.incoming = {"5:17#"};
  w.answer("05:35:17#", "-05*23'24#");
  w.p.telescope.telescope_window_tick();
  EXPECT_EQ(std::tuple(w.p.telescope.state().mount_silent, w.p.telescope.state().ra_text,
                       w.p.telescope.state().dec_text),
            std::tuple(false, "05:35:17#", "-05*23'24#"));
}

TEST(TelescopeWindow, RefusalsNameDeviceReasonAndRemedy) {
  struct Case {
    LineError error;
    const char* reason;
    const char* remedy;
  };
  const Case cases[] = {
      {LineError::NoDevice, "装置がありません", "STELLACQ_COM1=/dev/ttyUSB0"},
      {LineError::NoPermission, "権限がありません", "dialout"},
      {LineError::InUse, "他のプログラムが使っています", "終えてから"},
      {LineError::BadPortNumber, "COM ポートが選ばれていません", "COM1〜COM3"},
      {LineError::Other, "scripted failure", "確かめて"},
  };
  for (const Case& c : cases) {
    LinkWorld w;
    w.serial.open_error = c.error;
    w.p.telescope.telescope_window_open();
    EXPECT_FALSE(w.p.telescope.state().polling);
    ASSERT_EQ(w.ui.boxes.size(), 1u);
    const std::string& text = w.ui.boxes[0].text;
    for (const char* part : {"COM1 (/dev/ttyS0)", c.reason, c.remedy})
      EXPECT_NE(text.find(part), std::string::npos) << text;
  }
  LinkWorld closed;  // a button before "RS232C Open"
  closed.p.telescope.telescope_window_nudge(Direction::Left);
  ASSERT_EQ(std::tuple(closed.serial.sent, closed.ui.boxes.size()), std::tuple("", 1u));
  EXPECT_NE(closed.ui.boxes[0].text.find("RS232C Open"), std::string::npos);
}

// A box would halt a running series or program until someone answers it:
// while one runs, the window's fields and the status line tell of the lost
// line, and the status line of a nudge's stop that could not go out.
TEST(TelescopeWindow, ALostLineDuringASeriesIsToldWithoutABox) {
  const struct {
    int series_running, program_running;
    std::size_t boxes;
    const char* fields;
  } cases[] = {{1, 0, 0, "接続切れ"}, {0, 1, 0, "接続切れ"}, {0, 0, 1, "05:35:17#"}};
  for (const auto& c : cases) {
    LinkWorld w;
    w.answer("05:35:17#", "-05*23'24#");
    w.p.telescope.telescope_window_open();
    w.p.telescope.telescope_window_tick();
    w.p.series.state().series_running = c.series_running;
    w.p.series.state().program_running = c.program_running;
    w.serial.open_now = false;  // the adapter is pulled out
    w.p.telescope.telescope_window_tick();
    ASSERT_EQ(std::tuple(w.p.telescope.state().polling, w.ui.boxes.size(), w.p.telescope.state().ra_text),
              std::tuple(false, c.boxes, c.fields));
    const std::string& told = c.boxes ? w.ui.boxes[0].text : w.ui.last_status();
    EXPECT_NE(told.find("接続が切れました"), std::string::npos);
    EXPECT_TRUE(c.boxes == 1 || told.find('\n') == std::string::npos) << "the status line has one line";
  }
  for (const int series_running : {1, 0}) {  // a nudge whose stop cannot go out
    LinkWorld w;
    w.p.telescope.telescope_window_open();
    w.p.series.state().series_running = series_running;
    w.serial.on_send = [&](const std::string& text) {
      if (text == "#:Mn#\r\n") w.serial.send_error = LineError::WriteFailed;
    };
    w.p.telescope.telescope_window_nudge(Direction::Up);
    EXPECT_EQ(std::tuple(w.p.telescope.state().polling, w.ui.boxes.size()),
              std::tuple(false, series_running == 1 ? 0u : 1u));
    EXPECT_TRUE(series_running == 0 ||
                w.ui.last_status().find("#:Qn# を送れませんでした") != std::string::npos)
        << w.ui.last_status();
  }
}

TEST(SharedLine, GuidingClosesOnlyWhatItOpened) {
  {  // Alone: the step opens and closes.
    LinkWorld w;
    ASSERT_TRUE(w.p.telescope.open_link_for_guiding());
    w.p.telescope.close_link_after_guiding();
    EXPECT_EQ(w.serial.events, join({{"open COM1 9600,N,8,1"}, stops(), {"close"}}));
  }
  {  // The window has it open: the step leaves it open, the window closes it.
    LinkWorld w;
    w.p.telescope.telescope_window_open();
    ASSERT_TRUE(w.p.telescope.open_link_for_guiding());
    w.p.telescope.close_link_after_guiding();
    EXPECT_TRUE(w.serial.is_open());
    w.p.telescope.telescope_window_close();
    EXPECT_EQ(w.serial.events, join({{"open COM1 9600,N,8,1"}, stops(), {"close"}}));
  }
  {  // The window opens during the step and keeps the line after it.
    LinkWorld w;
    ASSERT_TRUE(w.p.telescope.open_link_for_guiding());
    w.p.telescope.telescope_window_open();
    w.p.telescope.close_link_after_guiding();
    EXPECT_TRUE(w.serial.is_open());
  }
  {  // The window closes during the step: the line stays for the step, which closes it.
    LinkWorld w;
    w.p.telescope.telescope_window_open();
    ASSERT_TRUE(w.p.telescope.open_link_for_guiding());
    w.p.telescope.telescope_window_close();
    EXPECT_TRUE(w.serial.is_open());
    w.p.telescope.close_link_after_guiding();
    EXPECT_FALSE(w.serial.is_open());
  }
  {  // A line that cannot be opened: no move, the status line says why.
    LinkWorld w;
    w.serial.open_error = LineError::NoPermission;
    EXPECT_FALSE(w.p.telescope.open_link_for_guiding());
    EXPECT_NE(w.ui.last_status().find("dialout"), std::string::npos) << w.ui.last_status();
    EXPECT_EQ(w.ui.last_status().find('\n'), std::string::npos) << "the status line has one line";
    EXPECT_TRUE(w.ui.boxes.empty());
  }
}

TEST(SerialLineSettings, ReadsTheSettingsStringAndTheDevice) {
  const auto s = parse_line_settings("9600,N,8,1");
  ASSERT_TRUE(s.has_value());
  EXPECT_EQ(std::tuple(s->baud, s->parity, s->data_bits, s->stop_bits), std::tuple(9600, 'N', 8, 1.0));
  for (const char* bad : {"", "9600,N,8", "9600,X,8,1", "fast,N,8,1", "9600,N,9,1", "9600,N,8,3"})
    EXPECT_FALSE(parse_line_settings(bad).has_value()) << bad;

  const auto usb_on_com2 = [](const char* name) -> const char* {
    return std::string(name) == "STELLACQ_COM2" ? "/dev/ttyUSB0" : nullptr;
  };
  EXPECT_EQ(std::tuple(serial_device(1, usb_on_com2), serial_device(2, usb_on_com2),
                       serial_device(3, usb_on_com2), serial_device(0, usb_on_com2)),
            std::tuple("/dev/ttyS0", "/dev/ttyUSB0", "/dev/ttyS2", ""));
}

}  // namespace
}  // namespace stellacq
