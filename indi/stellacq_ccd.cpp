// The device: its life with the camera session (the replies run on INDI's
// loop, the wire log at the DEBUG level, messages in pieces) and its
// exposures: CCD_EXPOSURE started on the session with libindi's cards, the
// countdown shown, the frame finished on the session's thread and sent as
// the CCD1 BLOB or saved on the server, fast exposures back to back.
#include "indi/stellacq_ccd.h"

#include <indicom.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <regex>

#include "camera/frame_finishing.h"
#include "camera/frame_request.h"
#include "camera/geometry.h"
#include "core/wire_log.h"
#include "indi/compressed_fits.h"
#include "indi/messages.h"

namespace stellacq::indi {

namespace {

FrameType frame_type_of(INDI::CCDChip::CCD_FRAME frame) {
  switch (frame) {
    case INDI::CCDChip::BIAS_FRAME:
      return FrameType::Bias;
    case INDI::CCDChip::DARK_FRAME:
      return FrameType::Dark;
    case INDI::CCDChip::FLAT_FRAME:
      return FrameType::Flat;
    case INDI::CCDChip::LIGHT_FRAME:
      break;
  }
  return FrameType::Light;
}

}  // namespace

// One exposure from its start on the main thread to its BLOB.
struct StellacqCcd::FrameJob {
  ExposureRequest request;
  FrameFinishing finishing;
  bool compress = false;  // send it as a tile-compressed ".fits.fz"
  // Main thread.
  bool aborted = false;         // the client aborted it
  bool downloading = false;     // the download had begun when it was aborted
  long long last_left_ms = -1;  // the countdown last shown
  bool download_told = false;
};

StellacqCcd::StellacqCcd() { setVersion(2, 4); }

// Runs when the server has gone (libindi exits on the end of its input).
// The session, destroyed after this, cancels a running frame before it
// joins its thread, so the process ends without finishing the exposure.
StellacqCcd::~StellacqCcd() {
  set_wire_sink(nullptr);  // the session's last exchanges log nothing more
  if (wake_callback_ >= 0) IERmCallback(wake_callback_);
}

// The wire log (every exchange with the control unit, with its time) at
// the DEBUG level while the client has the driver's Debug option on. The
// exchanges run on the port worker, and INDI's logger writes to the client
// unlocked: each line is stamped where it happens and handed to the main
// loop as a reply, which logs it there.
void StellacqCcd::debugTriggered(bool enable) {
  INDI::CCD::debugTriggered(enable);
  if (!enable) {
    set_wire_sink(nullptr);
    return;
  }
  set_wire_sink([this](const WireEntry& entry) {
    session_.reply([this, line = wire_line(entry)] { tell(INDI::Logger::DBG_DEBUG, line); });
  });
}

// Every message whose text is not the driver's own (a port's error, the
// unit's greeting, a long advice) goes out through here.
void StellacqCcd::tell(INDI::Logger::VerbosityLevel level, const std::string& text) {
  for (const std::string& piece : message_pieces(text)) DEBUGF(level, "%s", piece.c_str());
}

void StellacqCcd::on_wake() {
  wake_.clear();
  session_.run_replies();
}

void StellacqCcd::raise_short_exposure(double values[], char* names[], int n) {
  // CCD_EXPOSURE's minimum is the unit's one second; a client that asks for
  // less still gets a frame, of one second, as the header says.
  for (int i = 0; i < n; ++i)
    if (strcmp(names[i], "CCD_EXPOSURE_VALUE") == 0 && values[i] >= 0 && values[i] < 1) {
      LOGF_INFO("The camera exposes whole seconds: taking 1 s for %.3g s.", values[i]);
      values[i] = 1;
    }
}

std::vector<std::string> StellacqCcd::indi_cards(double seconds) {
  // libindi's own keyword writer, on the main loop where everything it reads
  // lives (the snooped mount, SCOPE_INFO, FITS_HEADER, WCS_CONTROL, the
  // chip's frame, binning and pixel size); the cards go to the session with
  // the job.
  exposureDuration = seconds;
  std::snprintf(exposureStartTime, sizeof exposureStartTime, "%s", PrimaryCCD.getExposureStartTime());
  // A mount that is not on the sky (see ISSnoopDevice) gives no cards.
  if (!mount_on_sky_) {
    RA = Dec = J2000RA = J2000DE = NAN;
    J2000Valid = false;
  }
  // The frame's CCD-TEMP is the reading taken just before its exposure,
  // not the one CCD_TEMPERATURE shows now.
  std::vector<std::string> cards = standard_cards();
  // INDI 1.9 also writes its FITS_HEADER defaults, an OBSERVER and OBJECT of
  // 'Unknown', which INDI 2 leaves out: the frames are the same on both.
  std::erase_if(cards, [](const std::string& card) {
    return card.rfind("CCD-TEMP", 0) == 0 || card.rfind("OBSERVER= 'Unknown '", 0) == 0 ||
           card.rfind("OBJECT  = 'Unknown '", 0) == 0;
  });
  return cards;
}

bool StellacqCcd::StartExposure(float duration) {
  if (!connected_) {
    LOG_ERROR("Connect the camera before exposing.");
    return false;
  }
  if (frame_) {
    LOG_ERROR("An exposure is running; abort it first.");
    return false;
  }
  auto job = std::make_shared<FrameJob>();
  const int seconds = exposure_seconds(duration);
  if (std::fabs(seconds - duration) > 1e-3)
    LOGF_INFO("The camera exposes whole seconds: taking %d s for %.3g s.", seconds, duration);
  const FrameType type = frame_type_of(PrimaryCCD.getFrameType());
  const RigOptions options = rig_options();
  job->request.kind = type == FrameType::Dark || type == FrameType::Bias ? FrameKind::Dark : FrameKind::Light;
  job->request.seconds = seconds;
  job->request.binning = binning_;
  FrameFinishing& finishing = job->finishing;
  finishing.extras.type = type;
  finishing.extras.pixel_um = PixelSizeNP[options.head_model == kHeadTx11 ? 0 : 1].getValue();
  finishing.send_bytes = upload_mode(UPLOAD_CLIENT) || upload_mode(UPLOAD_BOTH);
  if (upload_mode(UPLOAD_LOCAL) || upload_mode(UPLOAD_BOTH)) finishing.copy_path = local_file_name();

  PrimaryCCD.setExposureDuration(seconds);
  ExposureTime = seconds;
  finishing.extras.extra_cards = indi_cards(seconds);
  job->compress = PrimaryCCD.isCompressed();
  // The unit reads the whole chip; the part asked for is cut from the download.
  const FrameShape chip = frame_shape(options.head_model, binning_);
  finishing.part = binned_subframe(PrimaryCCD.getSubX(), PrimaryCCD.getSubY(), PrimaryCCD.getSubW(),
                                   PrimaryCCD.getSubH(), binning_, chip.width, chip.height);
  InExposure = true;
  frame_ = job;
  // The unit cannot answer during an exposure or a download, and back to
  // back frames leave the session no idle interval for its readings: the
  // temperature is read just before each exposure, for CCD_TEMPERATURE and
  // the frame's CCD-TEMP (the session's last reading). After an abort the
  // session runs both once the aborted frame has ended (the unit made ready).
  session_.read_temperature([this](const TemperatureResult& reading) {
    if (connected_)
      on_temperature(reading.status.ok(), reading.celsius,
                     reading.status.ok() ? "" : camera_error_text(reading.status));
  });
  if (!launch_frame(job)) {
    frame_.reset();
    InExposure = false;
    LOG_ERROR("The driver's port thread is not running.");
    return false;
  }
  return true;
}

bool StellacqCcd::launch_frame(const std::shared_ptr<FrameJob>& job) {
  FitsWriting fits = frame_fits_writing();
  if (job->compress)
    fits.bytes = [](const Frame& frame, const FrameExtras& extras, std::vector<std::uint8_t>& bytes) {
      std::vector<std::uint8_t> plain;
      if (std::string error = frame_file_bytes(frame, extras, plain); !error.empty()) return error;
      return compress_fits(plain, bytes);
    };
  FinishedFrameCallbacks callbacks;
  callbacks.progress = [this, job](const CameraProgress& progress) { show_progress(*job, progress); };
  callbacks.done = [this, job](const FrameOutcome& outcome, FinishedFiles& files) {
    finish_frame(job, outcome, files);
  };
  return start_finished_frame(session_, job->request, job->finishing, fits, std::move(callbacks));
}

void StellacqCcd::show_progress(FrameJob& job, const CameraProgress& progress) {
  if (frame_.get() != &job || job.aborted) return;
  if (progress.phase == CameraProgress::Phase::Exposure) {
    const long long left_ms = std::max(0LL, progress.total - progress.done);
    if (job.last_left_ms >= 0 && job.last_left_ms - left_ms < 500) return;
    job.last_left_ms = left_ms;
    PrimaryCCD.setExposureLeft(left_ms / 1000.0);
  } else if (!job.download_told) {
    job.download_told = true;
    PrimaryCCD.setExposureLeft(0);
    LOG_DEBUG("Downloading the frame.");
  }
}

bool StellacqCcd::AbortExposure() {
  if (frame_) {
    frame_->aborted = true;
    const std::optional<CameraProgress> progress = session_.progress();
    frame_->downloading = progress && progress->phase == CameraProgress::Phase::Download;
    session_.abort();
    frame_.reset();
  }
  InExposure = false;
  return true;
}

void StellacqCcd::finish_frame(const std::shared_ptr<FrameJob>& job, const FrameOutcome& outcome,
                               FinishedFiles& files) {
  const CameraStatus& status = outcome.result.status;
  if (job->aborted) {
    if (status.ok())
      LOG_INFO("Exposure aborted after the download; the frame is dropped.");
    else if (job->downloading)
      LOG_INFO("Exposure aborted during the download.");
    else
      LOG_INFO("Exposure aborted.");
    return;
  }
  if (frame_ == job) frame_.reset();
  InExposure = false;
  if (!status.ok()) {
    LOGF_ERROR("The frame failed: %s", camera_error_text(status).c_str());
    PrimaryCCD.setExposureFailed();
    return;
  }
  if (!files.error.empty()) {
    tell(INDI::Logger::DBG_ERROR, "The frame could not be stored: " + files.error);
    PrimaryCCD.setExposureFailed();
    return;
  }
  const std::string& local_path = job->finishing.copy_path;
  if (!local_path.empty()) {
    show_file_name(local_path);
    tell(INDI::Logger::DBG_SESSION, "Frame saved to " + local_path);
  }
  if (job->finishing.send_bytes) {
    std::vector<std::uint8_t>& bytes = files.bytes;  // lent to the property while it is sent
    INDI::PropertyBlob blob = getBLOB("CCD1");
    blob[0].setBlob(bytes.data());
    blob[0].setBlobLen(static_cast<int>(bytes.size()));
    blob[0].setSize(static_cast<int>(bytes.size()));
    blob[0].setFormat(job->compress ? ".fits.fz" : ".fits");
    blob.setState(IPS_OK);
    blob.apply();
    blob[0].setBlob(nullptr);
    blob[0].setBlobLen(0);
  }
  PrimaryCCD.setExposureComplete();
  continue_fast_exposure(job->request.seconds);
}

// Fast exposure: CCD_FAST_COUNT frames back to back from one CCD_EXPOSURE,
// the count going down as each next one starts, as in libindi's cameras.
void StellacqCcd::continue_fast_exposure(int seconds) {
  if (!fast_exposure_on()) return;
  const double left = fast_exposure_count();
  if (left <= 1) {
    show_fast_exposure_count(left, IPS_IDLE);
    return;
  }
  show_fast_exposure_count(left - 1, IPS_BUSY);
  if (!StartExposure(static_cast<float>(seconds))) {
    show_fast_exposure_count(1, IPS_ALERT);
    return;
  }
  PrimaryCCD.setExposureLeft(seconds);
}

// The next free name in the upload directory: the prefix with ISO8601
// replaced by the local time and XXX by the first unused number from 001. A
// prefix without XXX gets "_001" and so on once its plain name is taken: an
// earlier frame is never overwritten. No prefix is the default, IMAGE_XXX.
std::string StellacqCcd::local_file_name() const {
  std::string dir = upload_setting(UPLOAD_DIR);
  if (dir.empty()) dir = ".";
  std::string prefix = upload_setting(UPLOAD_PREFIX);
  if (prefix.empty()) prefix = "IMAGE_XXX";
  char stamp[32];
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H-%M-%S", &local);
  prefix = std::regex_replace(prefix, std::regex("ISO8601"), stamp);
  const bool numbered = prefix.find("XXX") != std::string::npos;
  if (!numbered && !std::filesystem::exists(dir + "/" + prefix + ".fits"))
    return dir + "/" + prefix + ".fits";
  for (int index = 1;; ++index) {
    char number[16];
    std::snprintf(number, sizeof number, "%03d", index);
    const std::string name =
        dir + "/" +
        (numbered ? std::regex_replace(prefix, std::regex("XXX"), number) : prefix + "_" + number) + ".fits";
    if (!std::filesystem::exists(name)) return name;
  }
}
}  // namespace stellacq::indi
