// Image download as the window runs it: brings the frame waiting in the
// control unit into the light or the dark frame buffer through the camera,
// with the status texts around it. The handlers and sequences hand in the
// camera, the frames and the status line.
//
// Writes the frame, its size and extremes, scan_max/scan_min,
// display_source and (through auto_level) the display levels, the camera's
// link state and the status line. Yields only before and after the transfer;
// during it, the share of the frame read is told after each block
// (exchange_progress), so that the window can repaint without running any
// handler.
#pragma once

#include <string>

#include "camera/camera.h"
#include "camera/failure_text.h"
#include "camera/geometry.h"
#include "camera/messages.h"
#include "core/status_line.h"
#include "image/frames.h"

namespace stellacq {

// The user's abort of the running exposure or download. The window requests
// it on the token while the exchange runs; the camera ends the exchange and
// makes the unit ready again, and the step that ran it marks the frame as
// dropped (rather than lost to a failure) and says so on the status line.
struct FrameAbort {
  CancelToken token;
  bool dropped = false;
  // Before the exposure of each frame: a new frame is not aborted yet.
  void reset() {
    token.clear();
    dropped = false;
  }
};

// The status of a camera step that `abort` may have ended: true when it
// succeeded; otherwise the reason is on the status line, and a cancel marks
// the frame dropped.
[[nodiscard]] bool frame_step_ok(const StatusLine& status, const CameraStatus& result, FrameAbort* abort);

// Downloads a frame of `shape` (the size the exposure was started with)
// into the light frame (kind Light) or the dark frame (Dark); the frame's
// size becomes `shape`. The frame filled, or nothing when the transfer did
// not complete (the reason is on the status line) or was aborted through
// `abort`; the frame then holds what arrived, its size and extremes are kept.
[[nodiscard]] const Frame* download_frame(Camera& camera, Frames& frames, const StatusLine& status,
                                          FrameKind kind, FrameShape shape, FrameAbort* abort = nullptr);

}  // namespace stellacq
