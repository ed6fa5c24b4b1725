// The guiding step as a whole, through the recording serial line and busy
// count: which levels it measures, the commands and counts of its moves, the
// settling waits after each and the status texts, on frames with one bright
// pixel as the star.
#include "guiding/guiding_step.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "test_support/world.h"

namespace stellacq {
namespace {

using Strings = std::vector<std::string>;

constexpr int kGuideX = 200, kGuideY = 150;

// A 384 x 256 frame of sky 100, locked at (200, 150), with the step's
// events in one list: the line's own ("open COM1 9600,N,8,1", "send
// #:Mw#\r\n", "close"), "count N" for every busy count and "wait" for every
// pass of a wait, each of which moves the clock's second on. The spans
// measured are kept as the tracking status window shows them.
struct StepWorld : testing::World {
  Strings& events = serial.events;
  Strings spans;

  StepWorld() {
    set_light(384, 256, 100);
    Settings& s = p.settings;
    s.com_port = 1;
    s.search_span = 10;
    s.aperture = 0;  // the box is the pixel itself: a one-pixel star is found where it is
    // A frame of sky alone gives 2.7 at the widest level, where the sky
    // is spread over the whole square although the frame covers a part.
    s.threshold = 5;
    s.x_tracking_on = s.y_tracking_on = 1;
    s.x_tracking_factor = 10;
    s.x_move_repeat = 2;
    s.y_tracking_factor = 30;
    s.y_move_repeat = 1;
    p.guide.guide_locked = 1;
    p.guide.guide_x = kGuideX;
    p.guide.guide_y = kGuideY;
    busy.on_count = [this](std::int64_t n) { events.push_back("count " + std::to_string(n)); };
    ui.on_yield = [this] {
      const std::string& span = p.guide.tracking_status.Label5;
      if (!span.empty() && (spans.empty() || spans.back() != span)) spans.push_back(span);
    };
    ui.on_idle = [this] {
      events.push_back("wait");
      clock.now_value.second = (clock.now_value.second + 1) % 60;
    };
  }
  void star(int x, int y) { p.frames.light.counts.at(x, y) = 10000; }
  // The step as a series runs it after its frame.
  void guiding_step() { p.guiding.guiding_step(p.exposure.display_after_shooting == 1); }
};

// The events of one timed move and its settling wait.
Strings move(const std::string& letter, std::int64_t counts, int repeat) {
  Strings e{"send #:M" + letter + "#\r\n"};
  for (int i = 0; i < repeat; ++i) e.push_back("count " + std::to_string(counts));
  e.insert(e.end(), {"send #:Q" + letter + "#\r\n", "count 1000"});
  e.insert(e.end(), 8, "wait");
  return e;
}

// The line opened for the step stops motion in every direction first.
Strings step(std::initializer_list<Strings> moves) {
  Strings e{"open COM1 9600,N,8,1", "send #:Qn#\r\n", "send #:Qs#\r\n", "send #:Qe#\r\n", "send #:Qw#\r\n"};
  for (const Strings& m : moves) e.insert(e.end(), m.begin(), m.end());
  e.push_back("close");
  return e;
}

TEST(GuidingStep, LevelsMovesWaitsAndStatus) {
  struct Row {
    const char* name;
    int star_x, star_y;  // -1: no star
    int y_reverse, x_on, y_on;
    Strings spans;
    Strings events;
    Strings statuses;
  };
  // Reversal, dead band and axes switched off are the plan's rules
  // (correction_plan_test); here the levels measured and what crosses the line.
  // X moves: repeat 2 of amount x 10 + 1 counts; Y moves: one of amount x 30 + 1.
  // clang-format off
  const Row rows[] = {
      {"worked example: right 3 then down 4", 203, 146, 1, 1, 1, {"10"}, step({move("w", 31, 2), move("s", 121, 1)}),
        {" 追尾中", "move right 3( 10)", "move right 3( 10) stop", "move down 4( 30)", "move down 4( 30) stop"}},
      {"level 1: X 4 x floor(6), Y floor(4.5)", 212, 141, 0, 1, 1, {"10", "15"}, step({move("w", 241, 2), move("n", 121, 1)}),
        {" 追尾中", "move right 24( 10)", "move right 24( 10) stop", "move up 4( 30)", "move up 4( 30) stop"}},
      {"level 3: floor(0.3 x 50), floor(0.25 x 100)", 150, 250, 0, 1, 1, {"10", "15", "30", "256"}, step({move("e", 151, 2), move("s", 751, 1)}),
        {" 追尾中", "move left 15( 10)", "move left 15( 10) stop", "move down 25( 30)", "move down 25( 30) stop"}},
      {"not found at any level: no move", -1, -1, 0, 1, 1, {"10", "15", "30", "256"}, step({}),
        {" 追尾中"}},
      {"both axes off: open and close only", 203, 146, 0, 0, 0, {"10"}, step({}), {" 追尾中"}},
  };
  // clang-format on
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    StepWorld w;
    if (r.star_x >= 0) w.star(r.star_x, r.star_y);
    Settings& s = w.p.settings;
    s.y_reverse = static_cast<std::int16_t>(r.y_reverse);
    s.x_tracking_on = static_cast<std::int16_t>(r.x_on);
    s.y_tracking_on = static_cast<std::int16_t>(r.y_on);
    w.guiding_step();
    EXPECT_EQ(w.spans, r.spans);
    EXPECT_EQ(w.events, r.events);
    EXPECT_EQ(w.ui.statuses, r.statuses);
    EXPECT_EQ(w.p.settings.search_span, 10);
    EXPECT_EQ(std::pair(w.p.guide.guide_x, w.p.guide.guide_y), std::pair(kGuideX, kGuideY));
    EXPECT_FALSE(w.serial.is_open());
  }
}

// The step never looks at the series' stop: a stop given during the first
// settling wait lets the Y move and its wait run all the same.
TEST(GuidingStep, AStopDuringTheStepTakesEffectAfterIt) {
  StepWorld w;
  w.star(203, 146);
  w.p.series.state().series_running = 1;
  w.p.series.state().guiding_mode = 1;
  const auto tick = w.ui.on_idle;
  w.ui.on_idle = [&] {
    tick();
    w.p.series.state().series_running = 0;  // as the stop commands do
    w.p.series.state().guiding_mode = 0;
  };
  w.guiding_step();
  EXPECT_EQ(w.events, step({move("w", 31, 2), move("n", 121, 1)}));
}

// A line that cannot be opened makes no move. A step that cannot guide
// stays visible in the tracking status window, with the count of unguided
// frames, until a step guides again.
TEST(GuidingStep, FramesLeftUnguidedAreCountedUntilAStepGuides) {
  StepWorld w;
  w.star(203, 146);
  w.serial.open_error = LineError::NoDevice;
  w.guiding_step();
  w.guiding_step();
  // Nothing is measured, waited for or sent on a line that does not open.
  EXPECT_EQ(w.events, (Strings{"open COM1 9600,N,8,1", "open COM1 9600,N,8,1"}));
  EXPECT_TRUE(w.spans.empty());
  EXPECT_EQ(std::pair(w.busy.calls, w.ui.idles), std::pair(0, 0));
  EXPECT_EQ(w.p.guide.unguided_frames, 2);
  EXPECT_TRUE(w.p.guide.tracking_status.unguided.starts_with("2  望遠鏡のシリアルポート COM1"))
      << w.p.guide.tracking_status.unguided;

  w.serial.open_error = LineError::None;
  w.guiding_step();
  EXPECT_EQ(w.p.guide.unguided_frames, 0);
  EXPECT_EQ(w.p.guide.tracking_status.unguided, "");
}

// The line dies during a move: while a series runs no box halts it, the
// status line and the tracking status window warn that the mount may still
// be moving, the frame counts as unguided, and the next open of the line
// sends the stops before the next step's moves, also on a line the
// telescope window holds open. Without a series, a box.
TEST(GuidingStep, AStopThatCannotGoOutHaltsNoSeries) {
  const std::string warning =
      "move right 3( 10) 望遠鏡に停止コマンド #:Qw# を送れませんでした (COM1 (/dev/ttyS0): "
      "書き込めません)。望遠鏡が動き続けているかもしれません。手元のコントローラで止めてください。";
  for (const int running : {1, 0}) {
    SCOPED_TRACE(running);
    StepWorld w;
    w.star(203, 146);
    w.p.series.state().series_running = running;
    const bool window = running == 1;  // the telescope window polls on the line
    if (window) {
      w.p.serial.set_port_number(1);
      ASSERT_EQ(w.p.serial.open(), LineError::None);
      w.p.telescope.state().window_uses_line = true;
    }
    w.serial.on_send = [&](const std::string& text) {
      if (text == "#:Mw#\r\n") w.serial.send_error = LineError::WriteFailed;
    };
    w.guiding_step();
    EXPECT_EQ(w.ui.boxes.size(), running == 1 ? 0u : 1u);
    EXPECT_EQ(w.ui.last_status(), warning);
    EXPECT_EQ(w.p.guide.tracking_status.unguided, "1 " + warning);
    EXPECT_TRUE(w.p.telescope.mount().stop_unsent());

    w.serial.send_error = LineError::None;  // the adapter is back
    w.serial.on_send = nullptr;
    w.events.clear();
    w.guiding_step();
    Strings expected = step({move("w", 31, 2), move("n", 121, 1)});
    if (window) expected.pop_back();  // the window keeps the line
    EXPECT_EQ(w.events, expected);
    EXPECT_FALSE(w.p.telescope.mount().stop_unsent());
    EXPECT_EQ(w.p.guide.unguided_frames, 0);
  }
}

// With display after shooting, the frame was drawn anew: the step locks and
// draws the marker again before it measures.
TEST(GuidingStep, RedrawsTheMarkerWhenTheFrameWasShown) {
  StepWorld w;
  w.star(203, 146);
  w.p.exposure.display_after_shooting = 1;
  w.p.guide.guide_locked = 0;
  w.guiding_step();
  EXPECT_EQ(w.p.guide.guide_locked, 1);
  EXPECT_FALSE(w.p.guide.marker_saved.empty());
  w.p.exposure.display_after_shooting = 0;
  w.p.guide.guide_locked = 0;
  w.p.guide.marker_saved.clear();
  w.guiding_step();
  EXPECT_TRUE(w.p.guide.marker_saved.empty());
}

}  // namespace
}  // namespace stellacq

namespace stellacq {
namespace {

// The step as a service, without the program's line and window: a move whose
// stop does not go out ends the step before the next move and its settling.
TEST(GuidingService, AMoveWhoseStopIsNotSentEndsTheStep) {
  StepWorld w;
  w.star(212, 141);  // right 24, then up 4
  const GuidingInput input{w.p.frames.light, kGuideX, kGuideY, 0, 0, w.p.settings};
  int moves = 0, settles = 0;
  const GuidingResult r = run_guiding_step(input, {{},
                                                   [&](const GuideMove&) {
                                                     ++moves;
                                                     return MoveEnd::StopNotSent;
                                                   },
                                                   [&] { ++settles; }});
  EXPECT_TRUE(r.found());
  EXPECT_EQ(std::tuple(moves, r.moves_made, settles, r.completed()), std::tuple(1, 0u, 0, false));
  EXPECT_TRUE(w.serial.events.empty());  // the service never touches the line itself
}

}  // namespace
}  // namespace stellacq
