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

constexpr int kInterfaceVersion = 4;
constexpr int kMaxBin = 2;
constexpr double kExposureMinS = 1.0;
constexpr double kExposureMaxS = 86400.0;  // the longest exposure the unit is waited for
constexpr auto kTemperatureInterval = 2s;
// A connection is bounded by the unit's reply time-outs; an aborted frame
// ends within the cancel latency and the unit's recovery.
constexpr auto kConnectWait = 60s;
constexpr auto kAbortWait = 20s;

Answer value(json v) {
  Answer a;
  a.value = std::move(v);
  return a;
}
Answer done() { return {}; }
Answer refuse(int number, std::string message) {
  Answer a;
  a.error_number = number;
  a.message = std::move(message);
  return a;
}
Answer bad_request(std::string message) {
  Answer a;
  a.http_status = 400;
  a.message = std::move(message);
  return a;
}

// A parameter the member needs: missing or malformed is the client's fault
// (HTTP 400); a well-formed value out of range is the device's refusal.
const std::string* find(const Params& params, const std::string& name, Answer& failure) {
  const auto it = params.find(name);
  if (it == params.end()) {
    failure = bad_request("Missing parameter " + name + ".");
    return nullptr;
  }
  return &it->second;
}

bool read_int(const Params& params, const std::string& name, int& out, Answer& failure) {
  const std::string* text = find(params, name, failure);
  if (!text) return false;
  char* end = nullptr;
  errno = 0;
  const long v = std::strtol(text->c_str(), &end, 10);
  if (text->empty() || *end != '\0' || errno != 0 || v < INT32_MIN || v > INT32_MAX) {
    failure = bad_request("Parameter " + name + " must be an integer, not \"" + *text + "\".");
    return false;
  }
  out = static_cast<int>(v);
  return true;
}

bool read_double(const Params& params, const std::string& name, double& out, Answer& failure) {
  const std::string* text = find(params, name, failure);
  if (!text) return false;
  // Alpaca numbers use the period whatever the locale; strtod of the "C"
  // locale, which this program keeps.
  char* end = nullptr;
  const double v = std::strtod(text->c_str(), &end);
  if (text->empty() || *end != '\0' || !std::isfinite(v)) {
    failure = bad_request("Parameter " + name + " must be a number, not \"" + *text + "\".");
    return false;
  }
  out = v;
  return true;
}

bool read_bool(const Params& params, const std::string& name, bool& out, Answer& failure) {
  const std::string* text = find(params, name, failure);
  if (!text) return false;
  if (strcasecmp(text->c_str(), "true") == 0) {
    out = true;
  } else if (strcasecmp(text->c_str(), "false") == 0) {
    out = false;
  } else {
    failure = bad_request("Parameter " + name + " must be true or false, not \"" + *text + "\".");
    return false;
  }
  return true;
}

std::string utc_text(std::time_t t) {
  std::tm utc{};
  gmtime_r(&t, &utc);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &utc);
  return text;
}

// Now in UTC to the millisecond, as DeviceState's TimeStamp.
std::string utc_now_text() {
  const auto now = std::chrono::system_clock::now();
  const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
  const auto ms =
      std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
  char fraction[8];
  std::snprintf(fraction, sizeof fraction, ".%03d", static_cast<int>(ms));
  return utc_text(seconds) + fraction;
}

// The members and the verbs they answer.
struct Member {
  bool get = false;
  bool put = false;
};
const std::map<std::string, Member>& members() {
  static const std::map<std::string, Member> table = [] {
    std::map<std::string, Member> t;
    for (const char* name : {"bayeroffsetx",
                             "bayeroffsety",
                             "camerastate",
                             "cameraxsize",
                             "cameraysize",
                             "canabortexposure",
                             "canasymmetricbin",
                             "canfastreadout",
                             "cangetcoolerpower",
                             "canpulseguide",
                             "cansetccdtemperature",
                             "canstopexposure",
                             "ccdtemperature",
                             "coolerpower",
                             "electronsperadu",
                             "exposuremax",
                             "exposuremin",
                             "exposureresolution",
                             "fullwellcapacity",
                             "gainmax",
                             "gainmin",
                             "gains",
                             "hasshutter",
                             "heatsinktemperature",
                             "imagearray",
                             "imagearrayvariant",
                             "imageready",
                             "ispulseguiding",
                             "lastexposureduration",
                             "lastexposurestarttime",
                             "maxadu",
                             "maxbinx",
                             "maxbiny",
                             "offsetmax",
                             "offsetmin",
                             "offsets",
                             "percentcompleted",
                             "pixelsizex",
                             "pixelsizey",
                             "readoutmodes",
                             "sensorname",
                             "sensortype",
                             "connecting",
                             "devicestate",
                             "description",
                             "driverinfo",
                             "driverversion",
                             "interfaceversion",
                             "name",
                             "supportedactions"})
      t[name].get = true;
    for (const char* name :
         {"binx", "biny", "cooleron", "fastreadout", "gain", "numx", "numy", "offset", "readoutmode",
          "setccdtemperature", "startx", "starty", "subexposureduration", "connected"})
      t[name] = {true, true};
    for (const char* name : {"abortexposure", "pulseguide", "startexposure", "stopexposure", "action",
                             "commandblind", "commandbool", "commandstring", "connect", "disconnect"})
      t[name].put = true;
    return t;
  }();
  return table;
}

// Members answered without a connection.
const std::set<std::string> kWithoutConnection = {
    "connected",        "connecting", "connect",       "disconnect",       "description",
    "devicestate",      "driverinfo", "driverversion", "interfaceversion", "name",
    "supportedactions", "action",     "commandblind",  "commandbool",      "commandstring"};

// What the camera does not have.
const std::map<std::string, std::string> kAbsent = {
    {"bayeroffsetx", "The camera is monochrome: it has no Bayer matrix."},
    {"bayeroffsety", "The camera is monochrome: it has no Bayer matrix."},
    {"coolerpower", "The control unit does not report the cooler's power."},
    {"electronsperadu", "The camera's gain in electrons is not known."},
    {"fullwellcapacity", "The camera's full well capacity is not known."},
    {"fastreadout", "The camera has one readout speed."},
    {"gain", "The camera has no gain setting."},
    {"gainmax", "The camera has no gain setting."},
    {"gainmin", "The camera has no gain setting."},
    {"gains", "The camera has no gain setting."},
    {"offset", "The camera has no offset setting."},
    {"offsetmax", "The camera has no offset setting."},
    {"offsetmin", "The camera has no offset setting."},
    {"offsets", "The camera has no offset setting."},
    {"heatsinktemperature", "The control unit does not report a heat sink temperature."},
    {"ispulseguiding", "The camera has no guide port."},
    {"pulseguide", "The camera has no guide port."},
    {"stopexposure", "The camera cannot stop an exposure early; abort it instead."},
    {"subexposureduration", "The camera takes no sub-exposures."},
    {"commandblind", "The device takes no commands."},
    {"commandbool", "The device takes no commands."},
    {"commandstring", "The device takes no commands."},
};

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

struct CameraDevice::State {
  DeviceSettings settings;
  bool connected = false;
  bool connecting = false;
  int connect_round = 0;  // a disconnect withdraws the connect under way
  std::string connect_error;
  std::string mount_device;
  int bin = 1;
  int start_x = 0, start_y = 0, num_x = 0, num_y = 0;
  bool cooler_on = false;
  double set_point_c = -10.0;
  std::optional<double> ccd_temp_c;
  // The exposure.
  bool exposing = false;  // started and neither finished nor aborted
  bool aborting = false;  // aborted, its end not come back yet
  bool failed = false;    // the last frame failed
  std::string failure;    // why
  std::string exposing_client;
  std::optional<double> last_duration_s;
  std::optional<std::time_t> last_start;
  bool image_ready = false;
  std::shared_ptr<const Image> image;
  std::string fits_path;
  long long frame_number = 0;

  FrameShape sensor() const { return frame_shape(settings.head_model, 1); }
  double pixel_um() const {
    return settings.head_model == kHeadTx11 ? settings.pixel_tx11_um : settings.pixel_tx22_um;
  }
};

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

Answer CameraDevice::start_exposure(const Params& params, const std::string& client) {
  Answer failure;
  double duration = 0;
  bool light = true;
  if (!read_double(params, "Duration", duration, failure) || !read_bool(params, "Light", light, failure))
    return failure;
  std::unique_lock<std::mutex> lock(mutex_);
  State& s = *state_;
  if (!s.connected) return refuse(kNotConnected, "The camera is not connected.");
  if (s.exposing)
    return refuse(kInvalidOperation,
                  "An exposure is running" +
                      (s.exposing_client.empty() ? std::string() : " (client " + s.exposing_client + ")") +
                      "; wait for it or abort it.");
  // An aborted frame is still handing the unit back: the next one waits for it.
  changed_.wait_for(lock, kAbortWait, [&] { return !s.aborting || !s.connected; });
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
  s.exposing_client = client;
  return done();
}

Answer CameraDevice::answer(bool put, const std::string& member, const Params& params) {
  const auto known = members().find(member);
  if (known == members().end()) {
    Answer a;
    a.http_status = 404;
    a.message = "The camera has no member \"" + member + "\".";
    return a;
  }
  if (put ? !known->second.put : !known->second.get)
    return bad_request(std::string(put ? "PUT" : "GET") + " is not valid for " + member + ".");

  Answer failure;
  const std::string client = params.count("ClientID") ? params.at("ClientID") : "";
  // The parameters of PUT members, read before anything else is decided.
  int int_value = 0;
  double double_value = 0;
  bool bool_value = false;
  if (put) {
    if (member == "binx" || member == "biny" || member == "numx" || member == "numy" || member == "startx" ||
        member == "starty" || member == "readoutmode" || member == "gain" || member == "offset") {
      static const std::map<std::string, std::string> names = {{"binx", "BinX"},
                                                               {"biny", "BinY"},
                                                               {"numx", "NumX"},
                                                               {"numy", "NumY"},
                                                               {"startx", "StartX"},
                                                               {"starty", "StartY"},
                                                               {"readoutmode", "ReadoutMode"},
                                                               {"gain", "Gain"},
                                                               {"offset", "Offset"}};
      if (!read_int(params, names.at(member), int_value, failure)) return failure;
    } else if (member == "cooleron" || member == "fastreadout" || member == "connected") {
      static const std::map<std::string, std::string> names = {
          {"cooleron", "CoolerOn"}, {"fastreadout", "FastReadout"}, {"connected", "Connected"}};
      if (!read_bool(params, names.at(member), bool_value, failure)) return failure;
    } else if (member == "setccdtemperature" || member == "subexposureduration") {
      if (!read_double(params, member == "setccdtemperature" ? "SetCCDTemperature" : "SubExposureDuration",
                       double_value, failure))
        return failure;
    } else if (member == "pulseguide") {
      if (!read_int(params, "Direction", int_value, failure) ||
          !read_int(params, "Duration", int_value, failure))
        return failure;
    } else if (member == "action") {
      if (!find(params, "Action", failure) || !find(params, "Parameters", failure)) return failure;
    } else if (member == "commandblind" || member == "commandbool" || member == "commandstring") {
      if (!find(params, "Command", failure) || !find(params, "Raw", failure)) return failure;
    }
  }

  if (const auto missing = kAbsent.find(member); missing != kAbsent.end())
    return refuse(kNotImplemented, missing->second);
  if (member == "action") return refuse(kActionNotImplemented, "The device has no actions.");

  // Members that need no connection.
  if (member == "connected") {
    if (!put) return value(connected());
    return bool_value ? connect(true) : disconnect();
  }
  if (member == "connect") return connect(false);
  if (member == "disconnect") return disconnect();
  if (member == "connecting") {
    std::lock_guard<std::mutex> lock(mutex_);
    return value(state_->connecting);
  }
  if (member == "description")
    return value(
        "STELLACQ: a cooled CCD camera (TX-11 or TX-22 head on a TU-11 or TU-22 control unit) on "
        "the parallel port");
  if (member == "driverinfo") return value("stellacq-alpaca, the STELLACQ camera as an ASCOM Alpaca device");
  if (member == "driverversion") return value(STELLACQ_VERSION);
  if (member == "interfaceversion") return value(kInterfaceVersion);
  if (member == "name") return value("STELLACQ CCD");
  if (member == "supportedactions") return value(json::array());

  if (member == "startexposure") return start_exposure(params, client);

  std::unique_lock<std::mutex> lock(mutex_);
  State& s = *state_;
  if (!kWithoutConnection.count(member) && !s.connected)
    return refuse(kNotConnected, "The camera is not connected.");
  const FrameShape sensor = s.sensor();

  if (member == "camerastate") return value(static_cast<int>(camera_state()));
  if (member == "devicestate") {
    // ICameraV4 DeviceState: the operational properties the camera has.
    // Those it does not implement (CoolerPower, HeatSinkTemperature,
    // IsPulseGuiding) are left out, as the Master Interfaces ask of
    // DeviceState and ConformU accepts (it notes an absent one as
    // information); so is what is not known yet. Not connected, only the
    // time stamp is known.
    json state = json::array();
    const auto add = [&](const char* name, json v) {
      state.push_back({{"Name", name}, {"Value", std::move(v)}});
    };
    if (s.connected) {
      add("CameraState", static_cast<int>(camera_state()));
      if (s.ccd_temp_c) add("CCDTemperature", *s.ccd_temp_c);
      add("ImageReady", s.image_ready);
      if (const std::optional<int> p = percent_completed()) add("PercentCompleted", *p);
    }
    add("TimeStamp", utc_now_text());
    return value(state);
  }
  if (member == "cameraxsize") return value(sensor.width);
  if (member == "cameraysize") return value(sensor.height);
  if (member == "canabortexposure") return value(true);
  if (member == "canasymmetricbin") return value(false);
  if (member == "canfastreadout") return value(false);
  if (member == "cangetcoolerpower") return value(false);
  if (member == "canpulseguide") return value(false);
  if (member == "cansetccdtemperature") return value(true);
  if (member == "canstopexposure") return value(false);
  if (member == "ccdtemperature") {
    if (!s.ccd_temp_c) return refuse(kValueNotSet, "The CCD temperature has not been read yet.");
    return value(*s.ccd_temp_c);
  }
  if (member == "exposuremax") return value(kExposureMaxS);
  if (member == "exposuremin") return value(kExposureMinS);
  if (member == "exposureresolution") return value(1.0);
  if (member == "hasshutter") return value(true);
  if (member == "imageready") return value(s.image_ready);
  if (member == "imagearray" || member == "imagearrayvariant") {
    if (!s.image_ready || !s.image)
      return refuse(kInvalidOperation, "There is no image: take an exposure first.");
    Answer a;
    a.image = s.image;
    return a;
  }
  if (member == "lastexposureduration") {
    if (!s.last_duration_s) return refuse(kValueNotSet, "No exposure has been taken yet.");
    return value(*s.last_duration_s);
  }
  if (member == "lastexposurestarttime") {
    if (!s.last_start) return refuse(kValueNotSet, "No exposure has been taken yet.");
    return value(utc_text(*s.last_start));
  }
  if (member == "maxadu") return value(65535);
  if (member == "maxbinx" || member == "maxbiny") return value(kMaxBin);
  if (member == "percentcompleted") {
    if (const std::optional<int> p = percent_completed()) return value(*p);
    return refuse(kInvalidOperation, "No exposure is running.");
  }
  if (member == "pixelsizex" || member == "pixelsizey") return value(s.pixel_um());
  if (member == "readoutmodes") return value(json::array({"Normal"}));
  if (member == "sensorname") return value(s.settings.head_model == kHeadTx11 ? "TX-11" : "TX-22");
  if (member == "sensortype") return value(0);  // monochrome

  if (member == "binx" || member == "biny") {
    if (!put) return value(s.bin);
    if (int_value < 1 || int_value > kMaxBin)
      return refuse(kInvalidValue, "Binning " + std::to_string(int_value) + " is not available: 1 or 2.");
    // Binning is symmetric: either member sets both axes.
    s.bin = int_value;
    return done();
  }
  if (member == "numx" || member == "numy" || member == "startx" || member == "starty") {
    int& field = member == "numx"     ? s.num_x
                 : member == "numy"   ? s.num_y
                 : member == "startx" ? s.start_x
                                      : s.start_y;
    if (!put) return value(field);
    // Checked against the binned chip when the exposure starts.
    field = int_value;
    return done();
  }
  if (member == "readoutmode") {
    if (!put) return value(0);
    if (int_value != 0) return refuse(kInvalidValue, "The camera has one readout mode, 0 (\"Normal\").");
    return done();
  }
  if (member == "cooleron") {
    if (!put) return value(s.cooler_on);
    s.cooler_on = bool_value;
    if (bool_value)
      session_.cooling_on(set_point_tenths(s.set_point_c));
    else
      session_.cooling_off();
    return done();
  }
  if (member == "setccdtemperature") {
    if (!put) return value(s.set_point_c);
    if (double_value < kSetPointMinC || double_value > kSetPointMaxC)
      return refuse(kInvalidValue, set_point_range_text());
    const int tenths = set_point_tenths(double_value);
    s.set_point_c = tenths / 10.0;
    if (s.cooler_on) session_.cooling_on(tenths);
    return done();
  }
  if (member == "abortexposure") {
    if (s.exposing && session_.abort()) {
      s.exposing = false;
      s.aborting = true;
      s.image_ready = false;
    }
    return done();
  }
  return refuse(kNotImplemented, member + " is not implemented.");
}

}  // namespace stellacq::alpaca
