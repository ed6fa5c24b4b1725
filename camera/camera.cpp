// The camera service on the link primitives and the image transfer.
#include "camera/camera.h"

#include <algorithm>
#include <cmath>

#include "camera/geometry.h"
#include "camera/transfer.h"
#include "core/numeric.h"
#include "core/wire_log.h"

namespace stellacq {

namespace {

// The unit answers an exposure command once the exposure has ended; its
// reply may lag behind the PC's idea of the time by its readout and clock
// differences, so the wait allows a generous margin.
constexpr double kExposureMarginSeconds = 15.0;
// No exposure wait is longer than a day, whatever was asked.
constexpr double kLongestExposureWaitSeconds = 86400.0;

// The command as the user would recognise it: without its line end.
std::string command_name(std::string name) {
  while (!name.empty() && (name.back() == '\r' || name.back() == '\n')) name.pop_back();
  return name;
}

CameraError error_of(LinkResult result) {
  switch (result) {
    case LinkResult::Ok:
      return CameraError::Ok;
    case LinkResult::NoPort:
      return CameraError::NoPort;
    case LinkResult::ReplyOverlong:
      return CameraError::GarbledReply;
    case LinkResult::Cancelled:
      return CameraError::Cancelled;
    default:
      return CameraError::NoReply;
  }
}

CameraStatus status_of(CameraError error) {
  CameraStatus s;
  s.error = error;
  return s;
}

CameraStatus no_port() {
  CameraStatus s = status_of(CameraError::NoPort);
  s.link = LinkResult::NoPort;
  return s;
}

}  // namespace

std::int64_t exposure_reply_limit_us(double seconds) {
  const double wait = std::clamp(seconds, 0.0, kLongestExposureWaitSeconds) + kExposureMarginSeconds;
  return static_cast<std::int64_t>(wait * 1e6);
}

std::string sensor_size_command(int head_model) {
  const FrameShape sensor = frame_shape(head_model, 1);
  return "I " + std::to_string(sensor.width) + " " + std::to_string(sensor.height);
}

void Camera::set_models(int head_model, int unit_model) {
  head_model_ = head_model;
  unit_model_ = unit_model;
}

bool Camera::connected() const { return link_.camera_connected != 0; }

CameraPort Camera::port() { return {io_, ports_, clock_}; }

CameraStatus Camera::failed(LinkResult result) {
  if (result != LinkResult::NoPort && result != LinkResult::Cancelled) link_.unit_silent = true;
  CameraStatus s = status_of(error_of(result));
  s.link = result;
  s.command = command_name(link_.command_text);
  return s;
}

CameraStatus Camera::exchange(std::string_view command, CameraPort& port, std::int64_t limit_us) {
  const LinkResult r = exchange_command(port, link_, command, ReplyMode::Framed, limit_us);
  return r == LinkResult::Ok ? CameraStatus{} : failed(r);
}

CameraStatus Camera::exchange(std::string_view command) {
  CameraPort p = port();
  return exchange(command, p);
}

CameraStatus Camera::checked_ready() const {
  if (!ports_.set) return no_port();
  if (!connected()) return status_of(CameraError::NotConnected);
  return {};
}

void Camera::reset_pulse() {
  wire_log(WireDevice::Camera, WireDirection::Event, "reset pulse");
  io_.PortOut(ports_.port_control, kControlIdle);
  io_.PortOut(ports_.port_control, kControlReset);
  busy_.count(kResetPulseCounts);
  io_.PortOut(ports_.port_control, kControlIdle);
}

CameraStatus Camera::connect(std::string* greeting) {
  if (!ports_.set) return no_port();
  link_.unit_silent = false;
  reset_pulse();
  // The reset switches the unit's cooler off and forgets time and binning.
  cooling_set_point_tenths_.reset();
  seconds_sent_.reset();
  binning_sent_.reset();

  link_.command_text.clear();  // the greeting answers no command
  CameraPort p = port();
  if (const LinkResult r = read_reply(p, link_, ReplyMode::Framed); r != LinkResult::Ok) return failed(r);
  if (greeting) *greeting = link_.reply_text;
  link_.camera_connected = 1;
  return exchange(sensor_size_command(head_model_));
}

CameraStatus Camera::assume_connected() {
  if (!ports_.set) return no_port();
  link_.unit_silent = false;
  link_.camera_connected = 1;
  return exchange(sensor_size_command(head_model_));
}

int set_point_tenths(double celsius) { return static_cast<int>(std::floor(celsius * 10.0 + 0.5)); }

CameraStatus Camera::cooling_on(int set_point_tenths) {
  if (CameraStatus s = checked_ready(); !s.ok()) return s;
  if (CameraStatus s = exchange("F 99"); !s.ok()) return s;
  std::string wire = decimal_text(set_point_tenths);
  if (set_point_tenths >= 0) wire[0] = '+';  // the unit wants an explicit sign: "+50", "+0"
  CameraStatus s = exchange("C " + wire);
  if (s.ok()) cooling_set_point_tenths_ = set_point_tenths;
  return s;
}

CameraStatus Camera::cooling_off() {
  if (CameraStatus s = checked_ready(); !s.ok()) return s;
  CameraStatus s = exchange("C 751");
  if (s.ok()) cooling_set_point_tenths_.reset();
  return s;
}

TemperatureResult Camera::read_temperature() {
  TemperatureResult t;
  t.status = checked_ready();
  if (t.status.ok()) t.status = exchange("T");
  // Tenths of a degree as signed decimal text ("-100" is -10.0 C), read
  // leniently: a reply without a number reads as 0.
  if (t.status.ok()) last_celsius_ = t.celsius = numeric_value(link_.reply_text) / 10.0;
  return t;
}

CameraStatus Camera::set_exposure_time(int seconds) {
  if (CameraStatus s = checked_ready(); !s.ok()) return s;
  // Milliseconds, written as the whole seconds followed by "000".
  CameraStatus s = exchange("S" + decimal_text(seconds) + "000");
  if (s.ok()) seconds_sent_ = seconds;
  return s;
}

CameraStatus Camera::set_binning(int binning) {
  if (CameraStatus s = checked_ready(); !s.ok()) return s;
  const int b = binning == 1 ? 1 : 2;
  CameraStatus s = exchange(b == 1 ? "N 1 1" : "N 2 2");
  if (s.ok()) binning_sent_ = b;
  return s;
}

CameraStatus Camera::expose(FrameKind kind, const ProgressHook& progress, const CancelToken& cancel) {
  if (CameraStatus s = checked_ready(); !s.ok()) return s;
  exposure_shape_ = frame_shape(head_model_, binning_sent_.value_or(1));
  const int seconds = seconds_sent_.value_or(0);
  const long long total_ms = static_cast<long long>(std::max(seconds, 0)) * 1000;
  CameraPort p = port();
  p.cancelled = [&cancel] { return cancel.requested(); };
  // The unit answers when the exposure has ended, seconds or minutes on.
  p.rest_us = kExposureRestUs;
  if (progress) {
    p.on_wait = [&progress, total_ms](std::int64_t waited_us) {
      progress({CameraProgress::Phase::Exposure, waited_us / 1000, total_ms});
    };
  }
  const CameraStatus s = exchange(kind == FrameKind::Light ? "V" : "D", p, exposure_reply_limit_us(seconds));
  return s.error == CameraError::Cancelled ? recover() : s;
}

FrameResult Camera::download(Frame& into, const ProgressHook& progress, const CancelToken& cancel) {
  return download(into, exposure_shape_, progress, cancel);
}

FrameResult Camera::download(Frame& into, FrameShape shape, const ProgressHook& progress,
                             const CancelToken& cancel) {
  FrameResult result;
  if (result.status = checked_ready(); !result.status.ok()) return result;
  CameraPort p = port();
  p.cancelled = [&cancel] { return cancel.requested(); };
  if (progress) {
    p.on_block = [&progress](long long done, long long needed) {
      progress({CameraProgress::Phase::Download, done, needed});
    };
  }
  // A TX-11 head on a TU-22 unit sends each row twice as long as the frame.
  const bool doubled_rows = head_model_ == kHeadTx11 && unit_model_ != kUnitTu11;
  const TransferResult r = transfer_frame(p, link_, into, shape, doubled_rows);
  result.streamed = r.streamed;
  if (r.streamed) {
    result.scan_max = r.scan_max;
    result.scan_min = r.scan_min;
  }
  switch (r.end) {
    case TransferEnd::Complete:
      into.width = shape.width;
      into.height = shape.height;
      into.max = r.scan_max;
      into.min = r.scan_min;
      break;
    case TransferEnd::BadFrameSize:
      result.status = status_of(CameraError::BadFrameSize);
      break;
    case TransferEnd::NoBlockAck:
      result.status = status_of(CameraError::GarbledReply);
      result.status.command = command_name(link_.command_text);
      break;
    case TransferEnd::ShortFrame:
      result.status = status_of(CameraError::ShortFrame);
      result.status.announced_samples = r.announced_samples;
      result.status.expected_samples = r.expected_samples;
      break;
    case TransferEnd::LinkFailed:
      result.status = r.link == LinkResult::Cancelled ? recover() : failed(r.link);
      break;
  }
  return result;
}

FrameResult Camera::take_frame(const ExposureRequest& request, Frame& into, const ProgressHook& progress,
                               const CancelToken& cancel) {
  FrameResult result;
  result.status = set_exposure_time(request.seconds);
  if (result.status.ok()) result.status = set_binning(request.binning);
  if (result.status.ok()) result.status = expose(request.kind, progress, cancel);
  if (!result.status.ok()) return result;
  result = download(into, progress, cancel);
  if (result.status.ok()) {
    into.kind = request.kind;
    into.seconds = request.seconds;
    into.binning = request.binning;
    into.head_model = head_model_;
    into.unit_model = unit_model_;
  }
  return result;
}

CameraStatus Camera::recover() {
  // The unit is somewhere inside an exchange: only a reset brings it back.
  wire_log(WireDevice::Camera, WireDirection::Event, "cancelled: recovering the unit");
  reset_pulse();
  link_.command_text.clear();
  CameraPort p = port();
  if (const LinkResult r = read_reply(p, link_, ReplyMode::Framed); r != LinkResult::Ok) return failed(r);
  if (CameraStatus s = exchange(sensor_size_command(head_model_)); !s.ok()) return s;
  if (cooling_set_point_tenths_) {
    // The reset switched the cooler off.
    if (CameraStatus s = cooling_on(*cooling_set_point_tenths_); !s.ok()) return s;
  }
  // ... and made the unit forget the time and the binning of the frames.
  if (seconds_sent_) {
    if (CameraStatus s = set_exposure_time(*seconds_sent_); !s.ok()) return s;
  }
  if (binning_sent_) {
    if (CameraStatus s = set_binning(*binning_sent_); !s.ok()) return s;
  }
  return status_of(CameraError::Cancelled);
}

}  // namespace stellacq
