// The guiding step of a guided series.
//
// guiding_step runs once after every frame of a series started with
// auto-guiding, when the series is still running: after the frame has been
// downloaded, corrected and shown as the tracking settings ask, and after it
// has been saved. It measures the guide star around the locked position
// (guide_x, guide_y) in the new light frame, widening the search up to three
// times, turns the offset into timed moves of the mount, X before Y, each
// followed by its settling wait of eight changes of the clock's second, and
// returns when the moves and waits are done. It uses the mount's serial line
// for the step (closing it afterwards unless the telescope window uses it)
// and leaves search_span as it was.
//
// It writes the status line (" 追尾中" and the moves) and yields, also
// during the settling waits, so the window stays painted; it never changes
// series_running or frames_remaining, so a stop given during it takes effect
// at the series' next test. A line that cannot be opened is told on the
// status line and the step makes no move; the series goes on.
#pragma once

namespace stellacq {

class Program;

inline constexpr const char* kTrackingMessage = " 追尾中";

void guiding_step(Program& p);

}  // namespace stellacq
