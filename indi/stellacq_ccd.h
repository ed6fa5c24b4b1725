// indi_stellacq_ccd: the TX-11/TX-22 camera on its TU-11/TU-22 control unit
// as the INDI device "STELLACQ CCD", on the Camera service.
//
// Properties: INDI's standard camera set (CONNECTION, CCD_INFO,
// CCD_EXPOSURE counting down, CCD_ABORT_EXPOSURE, CCD_BINNING 1x1 or 2x2,
// CCD_FRAME cut from the whole chip, CCD_FRAME_TYPE, CCD_TEMPERATURE, CCD_COOLER, the
// CCD1 BLOB, upload mode and settings), SIMULATION, and the driver's own:
// HEAD_MODEL, UNIT_MODEL, PARALLEL_PORT, PIXEL_SIZE, SIM_PORT_ACCESS (how
// slow the simulated port is) and, in simulation, SIM_MOUNT_PORT.
//
// Threads: everything here runs on INDI's main loop except what the camera
// session runs on its own thread (the port, the Camera, a frame's file);
// its outcomes come back as replies run on the main loop, woken through an
// eventfd that INDI's loop watches (see camera/camera_session.h). The main
// loop never waits for the port: connecting too runs on the session,
// CONNECTION showing Busy until the unit has answered or failed.
//
// The class's parts: the device with its exposures (stellacq_ccd.cpp), its
// properties (properties.cpp), the client's requests (requests.cpp),
// connecting and the temperature (connection.cpp); the texts as INDI
// carries them in messages.h.
#pragma once

#include <indipropertynumber.h>
#include <indipropertyswitch.h>
#include <indipropertytext.h>

#include <array>
#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "camera/camera_rig.h"
#include "camera/camera_session.h"
#include "camera/frame_finishing.h"
#include "fits/frame_file.h"
#include "indi/ccd_api.h"
#include "sim/simulated_rig.h"

namespace stellacq::indi {

class StellacqCcd final : public CcdApi {
 public:
  StellacqCcd();
  ~StellacqCcd() override;

  const char* getDefaultName() override { return "STELLACQ CCD"; }
  bool initProperties() override;
  bool updateProperties() override;
  void ISGetProperties(const char* dev) override;
  bool ISNewNumber(const char* dev, const char* name, double values[], char* names[], int n) override;
  bool ISNewSwitch(const char* dev, const char* name, ISState* states, char* names[], int n) override;
  bool ISNewText(const char* dev, const char* name, char* texts[], char* names[], int n) override;

 protected:
  bool Connect() override;
  bool Disconnect() override;
  bool StartExposure(float duration) override;
  bool AbortExposure() override;
  bool UpdateCCDFrame(int x, int y, int w, int h) override;
  bool UpdateCCDBin(int hor, int ver) override;
  int SetTemperature(double temperature) override;
  void TimerHit() override;
  bool saveConfigItems(FILE* fp) override;
  bool ISSnoopDevice(XMLEle* root) override;
  void simulationTriggered(bool enable) override;
  // Debug on: the wire log goes to the DEBUG level (see the .cpp).
  void debugTriggered(bool enable) override;
  // The cooling state is kept by the driver's own readings (see
  // on_temperature); the base class's target check stays out.
  void checkTemperatureTarget() override {}

 private:
  struct FrameJob;

  RigOptions rig_options() const;
  HardwareOpener opener(const RigOptions& options) const;
  void apply_sensor_size();
  void on_wake();
  void start_cooling(double set_point_c);
  void watch_temperature();
  void on_temperature(bool ok, double celsius, const std::string& error);
  bool launch_frame(const std::shared_ptr<FrameJob>& job);
  void show_progress(FrameJob& job, const CameraProgress& progress);
  void finish_frame(const std::shared_ptr<FrameJob>& job, const FrameOutcome& outcome, FinishedFiles& files);
  void continue_fast_exposure(int seconds);
  std::string local_file_name() const;
  bool refuse_while_connected(const char* what);
  std::string mount_link_path(std::string* error) const;
  void load_saved_settings();
  void raise_short_exposure(double values[], char* names[], int n);
  std::vector<std::string> indi_cards(double seconds);
  bool handle_connection(ISState* states, char* names[], int n);
  void finish_connect(const RigOptions& options, const ConnectOutcome& outcome);
  bool refuse_bad_numbers(const char* name, const double values[], char* names[], int n);
  bool refuse_bad_texts(const char* name, char* texts[], int n);
  bool refuse_unknown_switches(const char* name, char* names[], int n);
  static bool switches_change(const INDI::PropertySwitch& property, const ISState* states, char* names[],
                              int n);
  void tell(INDI::Logger::VerbosityLevel level, const std::string& text);

  // In simulation: the observatory with its mount, which the session's
  // hardware shares while connected.
  std::shared_ptr<sim::SimulatedSite> site_;
  EventFdWakeUp wake_;  // outlives the session
  CameraSession session_{wake_};
  int wake_callback_ = -1;

  // Main thread state.
  bool connected_ = false;
  bool settings_loaded_ = false;  // the saved head, unit, port and pixel sizes
  bool mount_on_sky_ = false;     // the snooped mount's last coordinates are a place on the sky
  bool own_defined_ = false;      // HEAD_MODEL, UNIT_MODEL, PARALLEL_PORT, PIXEL_SIZE, SIM_PORT_ACCESS
  bool connecting_ = false;
  int connect_attempt_ = 0;                      // the reply of an attempt given up is dropped
  std::shared_ptr<FrameJob> frame_;              // the exposure running, if any
  std::chrono::milliseconds watch_interval_{0};  // of the temperature readings
  std::optional<double> last_temperature_c_;
  double set_point_c_ = -10.0;
  int binning_ = 1;                // 1 or 2, the same on both axes
  std::array<int, 4> subframe_{};  // CCD_FRAME in use or saved: x, y, width, height; width 0 = the whole chip
  bool cooling_ = false;
  IPState cooling_state_ = IPS_IDLE;  // of CCD_TEMPERATURE while cooling, whatever a refusal showed
  // Busy temperature: ends at the set point, or when the readings stop
  // approaching it for kTemperatureStallS.
  double best_distance_c_ = 0;
  std::chrono::steady_clock::time_point last_approach_;

  INDI::PropertySwitch HeadSP{2};
  INDI::PropertySwitch UnitSP{2};
  INDI::PropertyText PortTP{1};
  INDI::PropertyNumber PixelSizeNP{2};
  INDI::PropertyText MountPortTP{1};
  INDI::PropertyNumber SimAccessNP{1};
  INDI::PropertySwitch CoolerSP{2};
};

}  // namespace stellacq::indi
