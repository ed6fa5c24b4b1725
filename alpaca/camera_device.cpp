#include "alpaca/camera_device.h"

#include <strings.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <iostream>
#include <set>

#include "alpaca/camera_members.h"
#include "camera/camera_rig.h"
#include "camera/frame_finishing.h"
#include "camera/frame_request.h"
#include "camera/geometry.h"
#include "fits/frame_file.h"
#include "sim/simulated_rig.h"

namespace stellacq::alpaca {

namespace {

using namespace std::chrono_literals;
using nlohmann::json;

constexpr auto kTemperatureInterval = 2s;
// A connection is bounded by the unit's reply time-outs; an aborted frame
// ends within the cancel latency and the unit's recovery.
constexpr auto kConnectWait = 60s;
constexpr auto kAbortWait = 20s;

// The port claimed for this process alone, or the simulated observatory
// with its mount served on a pseudo-terminal.
HardwareOpener opener_for(const DeviceSettings& settings) {
  RigOptions options;
  options.port = settings.port;
  options.head_model = settings.head_model;
  options.unit_model = settings.unit_model;
  return settings.simulate ? sim::simulated_opener(options, settings.sim_access_us) : parport_opener(options);
}

}  // namespace

CameraDevice::CameraDevice(const DeviceSettings& settings, WakeUp& wake)
    : state_(std::make_unique<State>()), session_(wake) {
  state_->settings = settings;
  session_.watch_temperature(kTemperatureInterval, [this](const TemperatureResult& reading) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (reading.status.ok() && state_->connected) state_->ccd_temp_c = reading.celsius;
  });
}

CameraDevice::~CameraDevice() = default;

void CameraDevice::run_replies() { session_.run_replies(); }

DeviceSettings CameraDevice::settings() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return state_->settings;
}

bool CameraDevice::connected() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return state_->connected;
}

std::string CameraDevice::mount_device() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return state_->mount_device;
}

std::string CameraDevice::last_fits_path() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return state_->fits_path;
}

std::optional<std::string> CameraDevice::change_settings(const DeviceSettings& wanted) {
  std::lock_guard<std::mutex> lock(mutex_);
  DeviceSettings& s = state_->settings;
  if (state_->connected || state_->connecting) {
    if (wanted.port != s.port) return disconnect_first_text("parallel port");
    if (wanted.head_model != s.head_model) return disconnect_first_text("camera head");
    if (wanted.unit_model != s.unit_model) return disconnect_first_text("control unit");
    if (wanted.simulate != s.simulate) return kDisconnectBeforeSimulation;
  }
  s = wanted;
  return std::nullopt;
}

Answer CameraDevice::connect(bool wait) {
  std::unique_lock<std::mutex> lock(mutex_);
  State& s = *state_;
  if (s.connected) return done();
  if (!s.connecting) {
    s.connecting = true;
    s.connect_error.clear();
    const DeviceSettings settings = s.settings;
    const int round = s.connect_round;
    session_.connect(opener_for(settings), [this, settings, round](const ConnectOutcome& o) {
      std::lock_guard<std::mutex> lock(mutex_);
      State& s = *state_;
      // Disconnected meanwhile: the session closes the port after this.
      if (round != s.connect_round) return;
      s.connecting = false;
      if (!o.open.ok) {
        // The answer is the protocol's, in English; the port's own account
        // of what failed and what to do goes to the log.
        s.connect_error = o.open.held ? port_held_text(settings.port)
                                      : port_unusable_text(settings.port) +
                                            ": check the port setting, the ppdev module and the lp group.";
        if (!o.open.message.empty()) std::cerr << o.open.message << "\n";
      } else if (!o.status.ok()) {
        s.connect_error = connect_failed_text(o.status);
      } else {
        s.connected = true;
        const FrameShape sensor = s.sensor();
        s.bin = 1;
        s.start_x = s.start_y = 0;
        s.num_x = sensor.width;
        s.num_y = sensor.height;
        s.mount_device = o.open.mount_device;
        if (o.temperature.status.ok()) s.ccd_temp_c = o.temperature.celsius;
        if (!o.greeting.empty()) std::cerr << "The control unit says: " << o.greeting << "\n";
        if (!s.mount_device.empty()) std::cerr << simulated_mount_text(s.mount_device) << "\n";
        if (!o.open.message.empty()) std::cerr << o.open.message << "\n";
      }
      if (!s.connect_error.empty()) std::cerr << s.connect_error << "\n";
      changed_.notify_all();
    });
  }
  if (!wait) return done();
  changed_.wait_for(lock, kConnectWait, [&] { return !s.connecting; });
  if (s.connected) return done();
  return refuse(kDriverError, s.connecting ? "The camera did not answer in time." : s.connect_error);
}

Answer CameraDevice::disconnect() {
  std::lock_guard<std::mutex> lock(mutex_);
  State& s = *state_;
  if (!s.connected && !s.connecting) return done();
  if (s.connecting) s.connect_error = "The camera was disconnected while it was connecting.";
  ++s.connect_round;
  s.connected = false;
  s.connecting = false;
  s.exposing = false;
  s.aborting = false;
  s.cooler_on = false;
  s.image_ready = false;
  s.mount_device.clear();
  session_.disconnect();
  changed_.notify_all();
  return done();
}

std::optional<int> CameraDevice::percent_completed() const {
  const State& s = *state_;
  if (s.exposing) {
    const std::optional<CameraProgress> p = session_.progress();
    if (!p || p->total <= 0) return 0;
    return static_cast<int>(std::clamp(p->done * 100 / p->total, 0LL, 100LL));
  }
  if (s.image_ready) return 100;
  return std::nullopt;
}

CameraState CameraDevice::camera_state() const {
  const State& s = *state_;
  if (s.exposing) {
    const std::optional<CameraProgress> p = session_.progress();
    return p && p->phase == CameraProgress::Phase::Download ? CameraState::Download : CameraState::Exposing;
  }
  return s.failed ? CameraState::Error : CameraState::Idle;
}

Answer CameraDevice::start_exposure(State& s, const Call& call) {
  const double duration = call.double_value;
  const bool light = call.bool_value;
  if (s.exposing)
    return refuse(kInvalidOperation,
                  "An exposure is running" +
                      (s.exposing_client.empty() ? std::string() : " (client " + s.exposing_client + ")") +
                      "; wait for it or abort it.");
  // An aborted frame is still handing the unit back: the next one waits for it.
  changed_.wait_for(*call.lock, kAbortWait, [&] { return !s.aborting || !s.connected; });
  if (!s.connected) return refuse(kNotConnected, "The camera is not connected.");
  if (s.aborting || s.exposing)
    return refuse(kInvalidOperation, "The camera is still recovering from an aborted exposure.");
  if (!(duration >= kExposureMinS && duration <= kExposureMaxS)) {
    char text[160];
    std::snprintf(text, sizeof text, "Duration %g s is outside %g to %g s.", duration, kExposureMinS,
                  kExposureMaxS);
    return refuse(kInvalidValue, text);
  }
  const FrameShape binned = frame_shape(s.settings.head_model, s.bin);
  if (s.start_x < 0 || s.start_y < 0 || s.num_x < 1 || s.num_y < 1 || s.start_x + s.num_x > binned.width ||
      s.start_y + s.num_y > binned.height) {
    char text[200];
    std::snprintf(text, sizeof text,
                  "The subframe %d,%d of %d x %d does not lie within the %d x %d pixels binned %d x %d.",
                  s.start_x, s.start_y, s.num_x, s.num_y, binned.width, binned.height, s.bin, s.bin);
    return refuse(kInvalidValue, text);
  }

  ExposureRequest request;
  request.kind = light ? FrameKind::Light : FrameKind::Dark;
  request.seconds = exposure_seconds(duration);
  request.binning = s.bin;
  FrameFinishing finishing;
  finishing.part = {s.start_x, s.start_y, s.num_x, s.num_y};
  finishing.extras.type = light ? FrameType::Light : FrameType::Dark;
  finishing.extras.pixel_um = s.pixel_um();
  // The FITS copy, written on the session's thread from the cut frame. The
  // folder is the user's, checked when it was set: never made here.
  if (!s.settings.fits_folder.empty()) {
    const std::time_t now = std::time(nullptr);
    char name[64];
    std::tm utc{};
    gmtime_r(&now, &utc);
    std::strftime(name, sizeof name, "%Y%m%dT%H%M%S", &utc);
    finishing.copy_path = s.settings.fits_folder + "/stellacq-" + name + "-" +
                          std::to_string(++s.frame_number) + (light ? "-light" : "-dark") + ".fits";
  }

  FinishedFrameCallbacks callbacks;
  callbacks.done = [this, copy_path = finishing.copy_path](const FrameOutcome& outcome,
                                                           FinishedFiles& files) {
    if (!files.error.empty())
      std::cerr << "The FITS copy " << copy_path << " could not be written: " << files.error << "\n";
    std::lock_guard<std::mutex> lock(mutex_);
    State& s = *state_;
    s.aborting = false;
    if (!outcome.aborted && s.exposing) {
      s.exposing = false;
      if (outcome.result.status.ok()) {
        s.image = outcome.frame;
        s.image_ready = true;
        // The start and the length describe the same, completed exposure.
        s.last_duration_s = outcome.request.seconds;
        s.last_start = outcome.frame->start_utc;
        s.fits_path = files.copied ? copy_path : "";
      } else {
        s.failed = true;
        s.failure = "The exposure failed: " + camera_error_text(outcome.result.status);
        std::cerr << s.failure << "\n";
      }
    }
    changed_.notify_all();
  };
  if (!start_finished_frame(session_, request, std::move(finishing), frame_fits_writing(),
                            std::move(callbacks)))
    return refuse(kInvalidOperation, "An exposure is running; wait for it or abort it.");
  s.exposing = true;
  s.failed = false;
  s.image_ready = false;
  s.exposing_client = call.client;
  return done();
}

Answer CameraDevice::answer(bool put, const std::string& name, const Params& params) {
  const std::vector<Member>& table = member_table();
  const auto row = std::find_if(table.begin(), table.end(), [&](const Member& m) { return name == m.name; });
  if (row == table.end()) {
    Answer a;
    a.http_status = 404;
    a.message = "The camera has no member \"" + name + "\".";
    return a;
  }
  const Member& member = *row;
  if (put ? !member.put : !member.get)
    return bad_request(std::string(put ? "PUT" : "GET") + " is not valid for " + name + ".");

  Call call;
  call.put = put;
  call.client = params.count("ClientID") ? params.at("ClientID") : "";
  // The parameters of a PUT, read before anything else is decided.
  Answer failure;
  using Kind = Parameter::Kind;
  static const std::vector<Parameter> kNone;  // a GET reads none
  for (const Parameter& p : put ? member.parameters : kNone) {
    bool read = false;
    switch (p.kind) {
      case Kind::Int:
        read = read_int(params, p.name, call.int_value, failure);
        break;
      case Kind::Double:
        read = read_double(params, p.name, call.double_value, failure);
        break;
      case Kind::Bool:
        read = read_bool(params, p.name, call.bool_value, failure);
        break;
      case Kind::Text:  // only needed there
        read = find(params, p.name, failure) != nullptr;
        break;
    }
    if (!read) return failure;
  }
  if (member.absent) return refuse(member.absent_error, member.absent);
  if (member.unlocked) return member.unlocked(*this, call);

  std::unique_lock<std::mutex> lock(mutex_);
  call.lock = &lock;
  if (member.needs_connection && !state_->connected)
    return refuse(kNotConnected, "The camera is not connected.");
  return member.locked(*this, *state_, call);
}

}  // namespace stellacq::alpaca
