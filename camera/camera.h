// The camera as a service: the control unit and its head behind one object
// that takes values and returns values.
//
// A Camera owns what an exchange with the unit needs (the port seam, the
// register addresses, the clock, the busy count of the reset pulse and the
// link state) and offers the unit's operations: connect, cooling on and off,
// the temperature, and a frame (exposure, then download). It knows nothing of
// windows, status texts or the program's shared state: the main window's
// handlers turn its results into the status line, the INDI driver into
// properties and BLOBs.
//
// A Camera is not thread-safe: one thread at a time calls it. Only the
// CancelToken may be set from another thread while a call runs.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "camera/geometry.h"
#include "camera/link.h"
#include "camera/link_state.h"
#include "camera/port_io.h"
#include "config/settings.h"
#include "core/busy_count.h"
#include "core/clock.h"
#include "core/frame.h"

namespace stellacq {

// Set by the caller (from any thread) to end the running exposure wait or
// download within kCancelLatencyUs; cleared by the caller before the next
// frame.
class CancelToken {
 public:
  void request() { flag_.store(true, std::memory_order_relaxed); }
  void clear() { flag_.store(false, std::memory_order_relaxed); }
  bool requested() const { return flag_.load(std::memory_order_relaxed); }

 private:
  std::atomic<bool> flag_{false};
};

// The longest time from a cancel request to the end of the call it cancels.
inline constexpr std::int64_t kCancelLatencyUs = 500'000;

// Length of the reset pulse, in busy counts (microseconds).
inline constexpr int kResetPulseCounts = 1001;

// The longest wait for the end of an exposure of `seconds`, in microseconds:
// the exposure time (at most a day) and a margin for the unit's readout and
// clock differences.
std::int64_t exposure_reply_limit_us(double seconds);

// The sensor-size command of a head: "I 768 512" for a TX-11 (head_model
// 4); "I 1536 1024" for a TX-22 (16) and for any other value, which is the
// unit's full sensor size.
std::string sensor_size_command(int head_model);

// What failed. Ok is success.
enum class CameraError {
  Ok,
  NoPort,        // no parallel port is chosen; nothing was sent
  NotConnected,  // connect() has not succeeded
  NoReply,       // the unit did not answer a handshake in time (link says which)
  GarbledReply,  // a reply that makes no sense (one that never ends, no "K" to a block)
  ShortFrame,    // the size reply announced fewer samples than the frame needs
  BadFrameSize,  // the requested frame is larger than a frame buffer; nothing was sent
  Cancelled,     // the caller's CancelToken ended the call; the unit was made ready again
};

// The outcome of an operation: what failed and, for the texts above, the
// details of the failure.
struct CameraStatus {
  CameraError error = CameraError::Ok;
  LinkResult link = LinkResult::Ok;  // the primitive that failed, for NoReply
  std::string command;               // the command the exchange was about ("" for the greeting)
  long long announced_samples = 0;   // ShortFrame: what the unit announced
  long long expected_samples = 0;    // ShortFrame: what the frame needs
  bool ok() const { return error == CameraError::Ok; }
};

// One exposure as the unit takes it.
struct ExposureRequest {
  FrameKind kind = FrameKind::Light;  // Dark keeps the shutter closed
  int seconds = 1;                    // whole seconds, 1 or more (the unit's unit)
  int binning = 2;                    // 1 = none, 2 = 2 x 2
};

// Progress of a running exchange, at most once per kProgressIntervalUs while
// the unit exposes and after every block of the download.
struct CameraProgress {
  enum class Phase { Exposure, Download } phase = Phase::Exposure;
  long long done = 0;   // milliseconds exposed, or samples downloaded
  long long total = 0;  // milliseconds of the exposure, or samples of the frame
};
using ProgressHook = std::function<void(const CameraProgress&)>;

// How a download went; the frame itself is in the caller's Frame.
struct FrameResult {
  CameraStatus status;
  // Samples began to stream: scan_max and scan_min hold the extremes of the
  // samples stored, also when the download failed later (the Frame then
  // keeps its size and extremes).
  bool streamed = false;
  std::int32_t scan_max = 0;
  std::int32_t scan_min = 0;
};

struct TemperatureResult {
  CameraStatus status;
  double celsius = 0;  // valid when status.ok()
};

// A set point in degrees as the unit takes it: tenths of a degree, halves
// rounded up (-10.05 is -100, 5.04 is 50).
int set_point_tenths(double celsius);

class Camera {
 public:
  // `ports` is read at every call, so a port chosen later is used at once.
  Camera(PortIo& io, const PortAddresses& ports, Clock& clock, BusyCount& busy)
      : io_(io), ports_(ports), clock_(clock), busy_(busy) {}

  // The head and the unit the frames are sized for: head_model 4 = TX-11
  // (768 x 512), 16 = TX-22 (1536 x 1024); unit_model 4 = TU-11, else TU-22.
  void set_models(int head_model, int unit_model);

  // Reset pulse, the unit's greeting (returned in `greeting`), then the
  // sensor size of the head. Clears the silent mark. The reset leaves the
  // unit with its cooler off and without time or binning.
  CameraStatus connect(std::string* greeting = nullptr);
  // Takes the unit as connected without a reset; sends the sensor size.
  CameraStatus assume_connected();
  bool connected() const;

  // "F 99", then the set point in tenths of a degree ("C -100", "C +50").
  CameraStatus cooling_on(int set_point_tenths);
  // "C 751": the CCD drifts back to ambient.
  CameraStatus cooling_off();
  // "T": the CCD temperature. The unit reports tenths of a degree; a reply
  // without a number reads as 0, as the window has always shown it.
  TemperatureResult read_temperature();
  // The last temperature the unit reported, in degrees C; none before the
  // first reading.
  std::optional<double> last_temperature() const { return last_celsius_; }

  // The steps of a frame, for callers that do something between them (the
  // window's series builds the FITS header just before the exposure and
  // sends time and binning once for many frames).
  CameraStatus set_exposure_time(int seconds);  // "S" + milliseconds
  CameraStatus set_binning(int binning);        // "N 1 1" or "N 2 2"
  // "V" (light) or "D" (dark); returns when the unit reports the end of the
  // exposure of the seconds last sent. The wait rests between its polls
  // (kExposureRestUs), so a long exposure keeps no processor busy.
  CameraStatus expose(FrameKind kind, const ProgressHook& progress, const CancelToken& cancel);
  // Reads the waiting frame, sized by the head and the binning in force
  // when the exposure started (a TX-11 on a TU-22 sends each row twice as
  // long; the second half is dropped), into the counts of `into`. A whole
  // frame gives `into` its shape and extremes; otherwise they are kept.
  FrameResult download(Frame& into, const ProgressHook& progress, const CancelToken& cancel);
  // The same for a frame of `shape`: a caller that sized the frame itself
  // when the exposure started. Refuses a size outside the buffer.
  FrameResult download(Frame& into, FrameShape shape, const ProgressHook& progress,
                       const CancelToken& cancel);

  // The whole frame: time, binning, exposure, download. A whole frame also
  // records the request's kind, seconds and binning and the head and unit.
  FrameResult take_frame(const ExposureRequest& request, Frame& into, const ProgressHook& progress,
                         const CancelToken& cancel);

  // The link state of the last exchange (command and reply texts, the
  // connection flag and the silent mark), for callers that show it.
  const CameraLinkState& link() const { return link_; }
  CameraLinkState& link() { return link_; }

 private:
  CameraPort port();
  // One exchange; a failure marks the unit silent.
  CameraStatus exchange(std::string_view command, CameraPort& port,
                        std::int64_t limit_us = kHandshakeLimitUs);
  CameraStatus exchange(std::string_view command);
  CameraStatus failed(LinkResult result);
  CameraStatus checked_ready() const;
  void reset_pulse();
  // After a cancel: reset, greeting, head size, cooling, time and binning,
  // so the next frame starts from a unit in step. Returns Cancelled, or
  // what failed while the unit was brought back.
  CameraStatus recover();

  PortIo& io_;
  const PortAddresses& ports_;
  Clock& clock_;
  BusyCount& busy_;
  CameraLinkState link_;
  int head_model_ = 16;
  int unit_model_ = 16;
  std::optional<int> binning_sent_;
  std::optional<int> seconds_sent_;
  std::optional<double> last_celsius_;
  FrameShape exposure_shape_;                    // of the exposure last started
  std::optional<int> cooling_set_point_tenths_;  // restored after a cancel
};

}  // namespace stellacq
