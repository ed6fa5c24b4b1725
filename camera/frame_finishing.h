// A frame of a network front-end (the INDI driver, the Alpaca server) from
// its request to its files: the session takes the whole chip; on the
// session's thread, so that the front-end's loop never waits for it, the
// part asked for is cut to the top left of the counts, where it lies on the
// chip is noted for the header, and the FITS copy on the server's disk and
// the FITS bytes for the client are made. The frame keeps the record the
// camera and the session gave it: its start, the last temperature reading
// before it, its head and its binning.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "camera/camera_session.h"
#include "camera/frame_request.h"

namespace stellacq {

// The FITS writer, handed in by the front-end (it stands above the camera).
// Each gives an empty text on success, else why it failed.
struct FitsWriting {
  // Writes the frame as a FITS file at a path, replaced durably.
  std::function<std::string(const std::string& path, const Frame&, const FrameExtras&)> file;
  // The FITS file's bytes, as the client gets them.
  std::function<std::string(const Frame&, const FrameExtras&, std::vector<std::uint8_t>&)> bytes;
};

// What the front-end wants of a frame besides its exposure.
struct FrameFinishing {
  Subframe part;            // of the binned chip
  FrameExtras extras;       // its origin is set from `part`
  std::string copy_path;    // a FITS copy on the server's disk ("" = none)
  bool send_bytes = false;  // the FITS file's bytes, for the client
};

// What came of the finishing of a whole frame. The copy is made first;
// when it fails, no bytes are made.
struct FinishedFiles {
  bool copied = false;              // the copy is written at copy_path
  std::vector<std::uint8_t> bytes;  // when send_bytes and no error
  std::string error;                // why the copy or the bytes failed ("" = none)
};

struct FinishedFrameCallbacks {
  // Front-end thread: the latest progress.
  std::function<void(const CameraProgress&)> progress;
  // Front-end thread: the frame's end, whole, failed or aborted; `files`
  // holds something only for a whole frame, and is the front-end's to use.
  std::function<void(const FrameOutcome&, FinishedFiles& files)> done;
};

// Session thread: cuts a whole frame to the part and makes its files.
FinishedFiles finish_frame(Frame& frame, FrameFinishing& finishing, const FitsWriting& fits);

// Starts `request` on the session, finished as `finishing` asks; false as
// CameraSession::start_frame.
bool start_finished_frame(CameraSession& session, const ExposureRequest& request, FrameFinishing finishing,
                          const FitsWriting& fits, FinishedFrameCallbacks callbacks);

}  // namespace stellacq
