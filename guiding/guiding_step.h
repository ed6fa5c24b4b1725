// The guiding step of a guided series and the guide marker it redraws.
//
// guiding_step runs once after every frame of a series started with
// auto-guiding, when the series is still running: after the frame has been
// downloaded, corrected and shown as the tracking settings ask, and after it
// has been saved. It measures the guide star around the locked position
// (guide_x, guide_y) in the new light frame, widening the search up to three
// times, turns the offset into timed moves of the mount, one axis after the
// other, each followed by its settling wait, and returns when the moves and
// waits are done. It opens and closes the mount's serial port itself. It may
// write the status line (" 追尾中") and yield; it never changes
// series_running or frames_remaining, so a stop given during it takes effect
// at the series' next test.
#pragma once

namespace stellacq {

class Program;

void guiding_step(Program& p);

// Draws the marker of the search window around the locked position when
// guide_locked is 1 and erases it (restores the picture under it) when it is 0.
void draw_guide_marker(Program& p);

}  // namespace stellacq
