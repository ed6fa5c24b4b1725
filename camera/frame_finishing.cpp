#include "camera/frame_finishing.h"

#include <memory>

namespace stellacq {

FinishedFiles finish_frame(Frame& frame, FrameFinishing& finishing, const FitsWriting& fits) {
  FinishedFiles files;
  cut_subframe(frame, finishing.part);
  finishing.extras.origin_x = finishing.part.x;
  finishing.extras.origin_y = finishing.part.y;
  if (!finishing.copy_path.empty()) {
    files.error = fits.file(finishing.copy_path, frame, finishing.extras);
    files.copied = files.error.empty();
  }
  if (finishing.send_bytes && files.error.empty())
    files.error = fits.bytes(frame, finishing.extras, files.bytes);
  if (!files.error.empty()) files.bytes.clear();
  return files;
}

bool start_finished_frame(CameraSession& session, const ExposureRequest& request, FrameFinishing finishing,
                          const FitsWriting& fits, FinishedFrameCallbacks callbacks) {
  // Made on the session's thread, read on the front-end's after it.
  auto files = std::make_shared<FinishedFiles>();
  FrameCallbacks frame;
  frame.progress = std::move(callbacks.progress);
  frame.on_session_thread = [files, finishing = std::move(finishing), fits](FrameOutcome& outcome) mutable {
    *files = finish_frame(*outcome.frame, finishing, fits);
  };
  frame.done = [files, done = std::move(callbacks.done)](const FrameOutcome& outcome) {
    if (done) done(outcome, *files);
  };
  return session.start_frame(request, std::move(frame));
}

}  // namespace stellacq
