// Connecting, disconnecting and the temperature: the port opened and the
// unit greeted on the session's thread while CONNECTION shows Busy, the
// cooler switched and followed by the readings between frames.
#include <cmath>
#include <cstring>

#include "indi/stellacq_ccd.h"

namespace stellacq::indi {

namespace {

constexpr double kTemperatureReachedC = 0.5;
constexpr auto kTemperatureStall = std::chrono::seconds(60);

}  // namespace

// CONNECTION is answered here rather than by the base class, which would
// call Connect() and wait: the port is opened and the unit greeted on the
// session's thread (up to the reply time-out when nothing answers) while CONNECTION
// shows Busy and clients are answered. Disconnecting during that gives the
// attempt up. False leaves the request to the base class.
bool StellacqCcd::handle_connection(ISState* states, char* names[], int n) {
  bool connect = false, disconnect = false;
  for (int i = 0; i < n; ++i) {
    if (states[i] != ISS_ON) continue;
    connect = connect || strcmp(names[i], "CONNECT") == 0;
    disconnect = disconnect || strcmp(names[i], "DISCONNECT") == 0;
  }
  if (disconnect && connecting_) {
    connecting_ = false;
    ++connect_attempt_;
    session_.disconnect();
    setConnected(false, IPS_IDLE);
    return true;
  }
  if (!connect || connected_) return false;
  if (connecting_) {
    setConnected(true, IPS_BUSY);
    return true;
  }
  if (wake_callback_ < 0) {
    LOG_ERROR("The driver could not start its port thread.");
    setConnected(false, IPS_ALERT);
    return true;
  }
  const RigOptions options = rig_options();
  const int attempt = ++connect_attempt_;
  connecting_ = true;
  setConnected(true, IPS_BUSY);
  session_.connect(opener(options), [this, options, attempt](const ConnectOutcome& outcome) {
    if (connecting_ && attempt == connect_attempt_) finish_connect(options, outcome);
  });
  return true;
}

void StellacqCcd::finish_connect(const RigOptions& options, const ConnectOutcome& outcome) {
  connecting_ = false;
  if (!outcome.open.ok) {
    tell(INDI::Logger::DBG_ERROR,
         (outcome.open.held ? port_held_text(options.port) : port_unusable_text(options.port) + ".") + "\n" +
             outcome.open.message);
    setConnected(false, IPS_ALERT);
    return;
  }
  if (!outcome.open.message.empty()) tell(INDI::Logger::DBG_WARNING, outcome.open.message);
  if (!outcome.status.ok()) {
    tell(INDI::Logger::DBG_ERROR, connect_failed_text(outcome.status));
    setConnected(false, IPS_ALERT);
    return;
  }
  connected_ = true;
  if (const std::size_t start = outcome.greeting.find_first_not_of(' '); start != std::string::npos)
    tell(INDI::Logger::DBG_SESSION, "The control unit says: " + outcome.greeting.substr(start));
  if (!site_ && isSimulation() && !outcome.open.mount_device.empty()) {
    MountPortTP[0].setText(outcome.open.mount_device);
    defineProperty(MountPortTP);
  }
  if (isSimulation() && !outcome.open.mount_device.empty())
    LOGF_INFO("%s", simulated_mount_text(outcome.open.mount_device).c_str());
  // CCD_TEMPERATURE is defined with this first reading.
  if (outcome.temperature.status.ok()) {
    last_temperature_c_ = outcome.temperature.celsius;
    set_temperature(outcome.temperature.celsius);
  }
  setConnected(true, IPS_OK);
  updateProperties();
  watch_temperature();
  SetTimer(getCurrentPollingPeriod());
}

// Connecting goes through handle_connection; this answers only whether the
// camera is connected.
bool StellacqCcd::Connect() { return connected_; }

bool StellacqCcd::Disconnect() {
  AbortExposure();
  connected_ = false;
  cooling_ = false;
  cooling_state_ = IPS_IDLE;
  watch_interval_ = std::chrono::milliseconds(0);
  session_.watch_temperature(watch_interval_, {});
  session_.disconnect();
  return true;
}

void StellacqCcd::start_cooling(double set_point_c) {
  const int tenths = set_point_tenths(set_point_c);
  set_point_c_ = tenths / 10.0;
  cooling_ = true;
  cooling_state_ = IPS_BUSY;
  best_distance_c_ = last_temperature_c_ ? std::fabs(*last_temperature_c_ - set_point_c_) : 1e9;
  last_approach_ = std::chrono::steady_clock::now();
  show_temperature(IPS_BUSY);
  CoolerSP[0].setState(ISS_ON);
  CoolerSP[1].setState(ISS_OFF);
  CoolerSP.setState(IPS_BUSY);
  CoolerSP.apply();
  session_.cooling_on(tenths, [this](const CameraStatus& status) {
    if (!connected_) return;
    if (status.ok()) {
      CoolerSP.setState(IPS_OK);
    } else {
      LOGF_ERROR("Cooling on failed: %s", camera_error_text(status).c_str());
      CoolerSP.setState(IPS_ALERT);
      cooling_ = false;
      cooling_state_ = IPS_IDLE;
      show_temperature(IPS_ALERT);
    }
    CoolerSP.apply();
  });
}

int StellacqCcd::SetTemperature(double temperature) {
  if (!connected_) return -1;
  start_cooling(temperature);
  return 0;
}

void StellacqCcd::on_temperature(bool ok, double celsius, const std::string& error) {
  if (!ok) {
    LOGF_WARN("Reading the temperature failed: %s", error.c_str());
    show_temperature(IPS_ALERT);
    return;
  }
  last_temperature_c_ = celsius;
  set_temperature(celsius);
  // A refused set point or a failed reading shows Alert until this reading;
  // the cooling towards the set point in force goes on all the same.
  if (cooling_ && cooling_state_ == IPS_BUSY) {
    const double distance = std::fabs(celsius - set_point_c_);
    const auto now = std::chrono::steady_clock::now();
    if (distance <= kTemperatureReachedC) {
      cooling_state_ = IPS_OK;
    } else if (distance < best_distance_c_ - 0.1) {
      best_distance_c_ = distance;
      last_approach_ = now;
    } else if (now - last_approach_ > kTemperatureStall) {
      cooling_state_ = IPS_ALERT;
      LOGF_WARN("The CCD stays at %.1f C: the cooler does not reach the set point %.1f C.", celsius,
                set_point_c_);
    }
  }
  show_temperature(cooling_ ? cooling_state_ : IPS_IDLE);
}

// The session reads the temperature once a polling period while no other
// work waits. The unit answers nothing during an exposure or a download: the
// property keeps the last reading until the frame is in.
void StellacqCcd::watch_temperature() {
  const std::chrono::milliseconds interval(getCurrentPollingPeriod());
  if (interval == watch_interval_) return;
  watch_interval_ = interval;
  session_.watch_temperature(interval, [this](const TemperatureResult& reading) {
    if (connected_)
      on_temperature(reading.status.ok(), reading.celsius,
                     reading.status.ok() ? "" : camera_error_text(reading.status));
  });
}

void StellacqCcd::TimerHit() {
  if (!isConnected() || !connected_) return;
  watch_temperature();  // follows a changed polling period
  SetTimer(getCurrentPollingPeriod());
}

}  // namespace stellacq::indi
