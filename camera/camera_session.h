// The camera on a thread of its own, for the network front-ends (the INDI
// driver, the Alpaca server): the session owns the port (the real parallel
// port or the simulated observatory behind it) and the Camera on it, and
// runs every exchange with the unit on its thread, one after another.
//
// The front-end asks for values (connect, cooling, a temperature reading, a
// frame) and gets its answers as replies: closures queued for the front-end's
// own thread, which the session announces through a WakeUp (an eventfd that
// the front-end's event loop watches, or a queued call in a Qt program). The
// front-end runs them with run_replies(); its loop never waits for the port.
//
// One frame runs at a time: start_frame() with a request, progress while the
// unit exposes and while the frame comes in, then the completion with the
// frame's counts. abort() cancels it through the Camera's CancelToken (the
// unit is made ready again; the next frame is whole). Between frames the
// session reads the temperature at the interval the front-end asked for.
//
// Destroying the session cancels the running frame before it joins its
// thread, so a front-end that ends during a long exposure ends at once.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <ctime>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "camera/camera.h"
#include "camera/session_texts.h"
#include "core/frame.h"

namespace stellacq {

// How the session tells the front-end that replies wait. wake() is called
// from the session's thread; the front-end then calls run_replies() on its
// own thread.
class WakeUp {
 public:
  virtual ~WakeUp() = default;
  virtual void wake() = 0;
};

// The wake-up of a poll()/select() loop (INDI's, the Alpaca server's): an
// eventfd that is readable while wake-ups are pending.
class EventFdWakeUp final : public WakeUp {
 public:
  EventFdWakeUp();
  ~EventFdWakeUp() override;
  EventFdWakeUp(const EventFdWakeUp&) = delete;
  EventFdWakeUp& operator=(const EventFdWakeUp&) = delete;
  // -1 when no eventfd could be made.
  int fd() const { return fd_; }
  void wake() override;
  // Front-end thread, before run_replies(): takes the pending wake-ups off.
  void clear();

 private:
  int fd_ = -1;
};

// The port and the Camera behind it, built and used on the session's thread.
class CameraHardware {
 public:
  virtual ~CameraHardware() = default;
  virtual Camera& camera() = 0;
};

struct HardwareOpenResult {
  bool ok = false;
  bool held = false;         // another program or driver has the port
  std::string message;       // why the port could not be opened, or a warning
  std::string mount_device;  // simulation: the pseudo-terminal of the mount
};
// Session thread: opens the port (or builds the simulated observatory).
using HardwareOpener = std::function<std::unique_ptr<CameraHardware>(HardwareOpenResult&)>;

struct ConnectOutcome {
  HardwareOpenResult open;
  CameraStatus status;  // the reset and greeting, when the port opened
  std::string greeting;
  TemperatureResult temperature;  // the first reading
  bool ok() const { return open.ok && status.ok(); }
};

// A finished frame: what was asked, what came of it and, when whole, the
// frame of its own, recording also when its exposure was started (start_utc)
// and the last temperature reading before it.
struct FrameOutcome {
  ExposureRequest request;
  FrameResult result;
  std::shared_ptr<Frame> frame;  // set when result.status.ok()
  bool aborted = false;          // abort() was called for this frame
};

struct FrameCallbacks {
  // Front-end thread: the latest progress (readings in between are merged).
  std::function<void(const CameraProgress&)> progress;
  // Session thread, after the download, before `done`: work on the frame
  // that should not hold up the front-end (a FITS file, say).
  std::function<void(FrameOutcome&)> on_session_thread;
  // Front-end thread: the frame's end, whole, failed or aborted.
  std::function<void(const FrameOutcome&)> done;
};

class CameraSession {
 public:
  explicit CameraSession(WakeUp& wake);
  // Cancels the running frame, drops queued jobs and unrun replies, joins.
  ~CameraSession();
  CameraSession(const CameraSession&) = delete;
  CameraSession& operator=(const CameraSession&) = delete;

  // The calls below queue a job for the session's thread and may be made
  // from any thread; `done` runs on the front-end's thread.

  // Opens the hardware, resets the unit, reads its greeting and the first
  // temperature. A failed connect leaves the port closed.
  void connect(HardwareOpener open, std::function<void(const ConnectOutcome&)> done);
  // Cancels a running frame and closes the port.
  void disconnect(std::function<void()> done = {});
  void cooling_on(int set_point_tenths, std::function<void(const CameraStatus&)> done = {});
  void cooling_off(std::function<void(const CameraStatus&)> done = {});
  void read_temperature(std::function<void(const TemperatureResult&)> done);
  // While connected and no job waits: a reading every `interval` (0 = none).
  void watch_temperature(std::chrono::milliseconds interval,
                         std::function<void(const TemperatureResult&)> on_reading);
  // Any other work with the hardware (nullptr while not connected).
  void run(std::function<void(CameraHardware*)> job);

  // Starts a frame; false when one is running (its `done` not run yet)
  // that was not aborted. After an abort the next frame may start at once;
  // it runs when the aborted one has ended.
  bool start_frame(const ExposureRequest& request, FrameCallbacks callbacks);
  // Cancels the running frame; false when none runs. Its `done` still
  // comes, with `aborted` set.
  bool abort();
  bool frame_running() const;
  // The running frame's latest progress, from any thread.
  std::optional<CameraProgress> progress() const;

  bool connected() const { return connected_.load(); }
  // Jobs posted whose replies have not all run.
  int jobs_in_flight() const { return in_flight_.load(); }

  // Front-end thread: runs the waiting replies in order.
  void run_replies();
  // Any thread: queues `done` for the front-end's thread (a line of the wire
  // log from the session's exchanges).
  void reply(std::function<void()> done);

 private:
  struct RunningFrame;
  using Task = std::function<void()>;

  void post(Task job);
  void loop();
  void take_frame(const std::shared_ptr<RunningFrame>& frame);
  ConnectOutcome open_and_greet(const HardwareOpener& open);

  WakeUp& wake_;
  mutable std::mutex mutex_;
  std::condition_variable work_ready_;
  std::deque<Task> jobs_;
  std::deque<Task> replies_;
  bool stopping_ = false;
  std::shared_ptr<RunningFrame> frame_;  // under mutex_
  std::chrono::milliseconds watch_interval_{0};
  std::function<void(const TemperatureResult&)> on_reading_;
  std::atomic<int> in_flight_{0};
  std::atomic<bool> connected_{false};

  // Session thread only.
  std::unique_ptr<CameraHardware> hardware_;

  std::thread thread_;
};

}  // namespace stellacq
