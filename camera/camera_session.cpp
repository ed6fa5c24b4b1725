#include "camera/camera_session.h"

#include <sys/eventfd.h>
#include <unistd.h>

namespace stellacq {

EventFdWakeUp::EventFdWakeUp() : fd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

EventFdWakeUp::~EventFdWakeUp() {
  if (fd_ >= 0) close(fd_);
}

void EventFdWakeUp::wake() {
  const std::uint64_t one = 1;
  // The counter only saturates after 2^64 - 2 wake-ups; a failed write
  // leaves the fd readable anyway.
  if (fd_ >= 0) {
    [[maybe_unused]] const ssize_t written = write(fd_, &one, sizeof one);
  }
}

void EventFdWakeUp::clear() {
  std::uint64_t count = 0;
  if (fd_ >= 0) {
    [[maybe_unused]] const ssize_t got = read(fd_, &count, sizeof count);
  }
}

struct CameraSession::RunningFrame {
  ExposureRequest request;
  FrameCallbacks callbacks;
  CancelToken cancel;
  std::atomic<bool> aborted{false};
  std::atomic<bool> progress_pending{false};
  mutable std::mutex progress_mutex;
  std::optional<CameraProgress> progress;  // under progress_mutex
};

CameraSession::CameraSession(WakeUp& wake) : wake_(wake) {
  thread_ = std::thread([this] { loop(); });
}

CameraSession::~CameraSession() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
    jobs_.clear();
    // The running frame ends within the cancel latency instead of at the end
    // of its exposure.
    if (frame_) {
      frame_->aborted = true;
      frame_->cancel.request();
    }
  }
  work_ready_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void CameraSession::post(Task job) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (stopping_) return;
    jobs_.push_back(std::move(job));
    ++in_flight_;
  }
  work_ready_.notify_one();
}

void CameraSession::reply(Task done) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    replies_.push_back(std::move(done));
  }
  wake_.wake();
}

void CameraSession::run_replies() {
  for (;;) {
    Task next;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (replies_.empty()) return;
      next = std::move(replies_.front());
      replies_.pop_front();
    }
    next();
  }
}

void CameraSession::loop() {
  for (;;) {
    Task job;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      const auto ready = [this] { return stopping_ || !jobs_.empty(); };
      if (watch_interval_.count() > 0 && hardware_) {
        if (!work_ready_.wait_for(lock, watch_interval_, ready)) {
          // Idle for a whole interval: a reading between frames.
          auto on_reading = on_reading_;
          lock.unlock();
          const TemperatureResult reading = hardware_->camera().read_temperature();
          if (on_reading) reply([on_reading, reading] { on_reading(reading); });
          continue;
        }
      } else {
        work_ready_.wait(lock, ready);
      }
      if (stopping_) break;
      job = std::move(jobs_.front());
      jobs_.pop_front();
    }
    job();
    // Queued after the job's own replies, so the count drops once they ran.
    reply([this] { --in_flight_; });
  }
  hardware_.reset();
  connected_ = false;
}

void CameraSession::connect(HardwareOpener open, std::function<void(const ConnectOutcome&)> done) {
  post([this, open = std::move(open), done = std::move(done)] {
    const ConnectOutcome outcome = open_and_greet(open);
    if (done) reply([done, outcome] { done(outcome); });
  });
}

ConnectOutcome CameraSession::open_and_greet(const HardwareOpener& open) {
  ConnectOutcome outcome;
  hardware_.reset();
  hardware_ = open(outcome.open);
  if (hardware_ && outcome.open.ok) {
    outcome.status = hardware_->camera().connect(&outcome.greeting);
    if (outcome.status.ok()) {
      outcome.temperature = hardware_->camera().read_temperature();
    } else {
      hardware_.reset();
    }
  } else {
    hardware_.reset();
    outcome.open.ok = false;
  }
  connected_ = hardware_ != nullptr;
  return outcome;
}

void CameraSession::disconnect(std::function<void()> done) {
  abort();
  post([this, done = std::move(done)] {
    hardware_.reset();
    connected_ = false;
    if (done) reply(done);
  });
}

void CameraSession::cooling_on(int set_point_tenths, std::function<void(const CameraStatus&)> done) {
  post([this, set_point_tenths, done = std::move(done)] {
    CameraStatus status;
    status.error = CameraError::NotConnected;
    if (hardware_) status = hardware_->camera().cooling_on(set_point_tenths);
    if (done) reply([done, status] { done(status); });
  });
}

void CameraSession::cooling_off(std::function<void(const CameraStatus&)> done) {
  post([this, done = std::move(done)] {
    CameraStatus status;
    status.error = CameraError::NotConnected;
    if (hardware_) status = hardware_->camera().cooling_off();
    if (done) reply([done, status] { done(status); });
  });
}

void CameraSession::read_temperature(std::function<void(const TemperatureResult&)> done) {
  post([this, done = std::move(done)] {
    TemperatureResult reading;
    reading.status.error = CameraError::NotConnected;
    if (hardware_) reading = hardware_->camera().read_temperature();
    if (done) reply([done, reading] { done(reading); });
  });
}

void CameraSession::watch_temperature(std::chrono::milliseconds interval,
                                      std::function<void(const TemperatureResult&)> on_reading) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    watch_interval_ = interval;
    on_reading_ = std::move(on_reading);
  }
  work_ready_.notify_one();
}

void CameraSession::run(std::function<void(CameraHardware*)> job) {
  post([this, job = std::move(job)] { job(hardware_.get()); });
}

bool CameraSession::start_frame(const ExposureRequest& request, FrameCallbacks callbacks) {
  auto frame = std::make_shared<RunningFrame>();
  frame->request = request;
  frame->callbacks = std::move(callbacks);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    // An aborted frame may still be ending (the unit being made ready); the
    // new one runs after it.
    if ((frame_ && !frame_->aborted) || stopping_) return false;
    frame_ = frame;
  }
  post([this, frame] { take_frame(frame); });
  return true;
}

bool CameraSession::abort() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!frame_) return false;
  frame_->aborted = true;
  frame_->cancel.request();
  return true;
}

bool CameraSession::frame_running() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return frame_ != nullptr;
}

std::optional<CameraProgress> CameraSession::progress() const {
  std::shared_ptr<RunningFrame> frame;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    frame = frame_;
  }
  if (!frame) return std::nullopt;
  std::lock_guard<std::mutex> lock(frame->progress_mutex);
  return frame->progress;
}

void CameraSession::take_frame(const std::shared_ptr<RunningFrame>& frame) {
  auto outcome = std::make_shared<FrameOutcome>();
  outcome->request = frame->request;
  const std::time_t start_utc = std::time(nullptr);
  if (!hardware_) {
    outcome->result.status.error = CameraError::NotConnected;
  } else if (frame->cancel.requested()) {
    // Aborted before it began: the unit was not touched.
    outcome->result.status.error = CameraError::Cancelled;
  } else {
    const ProgressHook hook = [this, frame](const CameraProgress& p) {
      {
        std::lock_guard<std::mutex> lock(frame->progress_mutex);
        frame->progress = p;
      }
      // One progress reply waits at a time; it shows the latest reading.
      if (!frame->callbacks.progress || frame->progress_pending.exchange(true)) return;
      reply([frame] {
        frame->progress_pending = false;
        std::optional<CameraProgress> latest;
        {
          std::lock_guard<std::mutex> lock(frame->progress_mutex);
          latest = frame->progress;
        }
        if (latest && !frame->aborted) frame->callbacks.progress(*latest);
      });
    };
    outcome->frame = std::make_shared<Frame>();
    outcome->frame->start_utc = start_utc;
    outcome->frame->ccd_temp_c = hardware_->camera().last_temperature();
    outcome->result = hardware_->camera().take_frame(frame->request, *outcome->frame, hook, frame->cancel);
    if (!outcome->result.status.ok()) outcome->frame.reset();
  }
  outcome->aborted = frame->aborted;
  if (frame->callbacks.on_session_thread && outcome->result.status.ok() && !outcome->aborted)
    frame->callbacks.on_session_thread(*outcome);
  reply([this, frame, outcome] {
    outcome->aborted = outcome->aborted || frame->aborted;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (frame_ == frame) frame_.reset();
    }
    if (frame->callbacks.done) frame->callbacks.done(*outcome);
  });
}

}  // namespace stellacq
