#include "indi/port_worker.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>

namespace stellacq::indi {

PortWorker::PortWorker() {
  wake_fd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (wake_fd_ >= 0) thread_ = std::thread([this] { loop(); });
}

PortWorker::~PortWorker() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
    jobs_.clear();
  }
  work_ready_.notify_all();
  if (thread_.joinable()) thread_.join();
  if (wake_fd_ >= 0) close(wake_fd_);
}

bool PortWorker::post(Task job) {
  if (wake_fd_ < 0) return false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (stopping_) return false;
    jobs_.push_back(std::move(job));
  }
  ++in_flight_;
  work_ready_.notify_one();
  return true;
}

void PortWorker::reply(Task done) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    replies_.push_back(std::move(done));
  }
  const std::uint64_t one = 1;
  // The counter only saturates after 2^64 - 2 wake-ups; a failed write
  // leaves the fd readable anyway.
  [[maybe_unused]] const ssize_t written = write(wake_fd_, &one, sizeof one);
}

void PortWorker::run_replies() {
  std::uint64_t count = 0;
  [[maybe_unused]] const ssize_t got = read(wake_fd_, &count, sizeof count);
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

void PortWorker::loop() {
  for (;;) {
    Task job;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      work_ready_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
      if (stopping_) return;
      job = std::move(jobs_.front());
      jobs_.pop_front();
    }
    job();
    // Queued after the job's own replies, so the count drops once they ran.
    reply([this] { --in_flight_; });
  }
}

}  // namespace stellacq::indi
