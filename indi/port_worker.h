// The driver's two threads: the main thread runs INDI's event loop (every
// property and BLOB goes out from there), the worker thread runs the
// blocking exchanges with the control unit (connect, cooling, temperature,
// exposure wait, download) one after another and alone owns the port.
//
// The main thread posts jobs; a job hands its outcome back with reply(),
// which queues a closure for the main thread and wakes its event loop
// through an eventfd (INDI's IEAddCallback watches wake_fd()). The main
// loop never waits for the worker, so it answers clients during a download.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace stellacq::indi {

class PortWorker {
 public:
  using Task = std::function<void()>;

  PortWorker();
  // Lets the running job finish, drops the queued ones and the replies not
  // yet run, and joins the thread.
  ~PortWorker();
  PortWorker(const PortWorker&) = delete;
  PortWorker& operator=(const PortWorker&) = delete;

  // Readable while replies wait; -1 when no eventfd could be made (the
  // worker then refuses jobs).
  int wake_fd() const { return wake_fd_; }

  // Main thread: queues `job` for the worker. False when the worker cannot run.
  bool post(Task job);
  // Worker thread (inside a job): queues `done` for the main thread.
  void reply(Task done);
  // Main thread: clears the wake-up and runs the waiting replies in order.
  void run_replies();

  // Jobs posted whose replies have not all run: the main thread's view of
  // whether the port is busy. Counts a job from post() until the main thread
  // has run the replies it queued before ending.
  int jobs_in_flight() const { return in_flight_; }

 private:
  void loop();

  int wake_fd_ = -1;
  std::mutex mutex_;
  std::condition_variable work_ready_;
  std::deque<Task> jobs_;
  std::deque<Task> replies_;
  bool stopping_ = false;
  int in_flight_ = 0;  // main thread only
  std::thread thread_;
};

}  // namespace stellacq::indi
