// What the driver's worker thread owns while the device is connected: the
// parallel port (the real one, claimed for this process alone, or the
// simulated observatory behind it), the clock and busy count the camera
// link times itself by, the Camera, and the frame buffer a download fills.
//
// Built, used and destroyed on the worker thread only. In simulation the
// observatory's mount is also served on a pseudo-terminal, so a mount
// driver (LX200) moves the very mount whose pointing the camera images.
#pragma once

#include <memory>
#include <string>

#include "camera/camera.h"
#include "config/settings.h"
#include "core/busy_count.h"
#include "core/clock.h"
#include "image/frames.h"

namespace stellacq::indi {

struct RigOptions {
  bool simulation = false;
  std::string port = "/dev/parport0";  // "/dev/parportN" or a base address ("0x378")
  int head_model = kHeadTx22;
  int unit_model = kUnitTu22;
  // Simulation: the time one register access takes, as on a real port
  // (about 1 us: a full frame then takes the hardware's 11 s); 0 = as fast
  // as this computer runs the simulated unit.
  double sim_access_us = 0;
};

struct RigOpenResult {
  bool ok = false;
  bool held = false;         // another program or driver has the port
  std::string message;       // why the rig could not be opened (naming the port), or a warning
  std::string mount_device;  // simulation: the pseudo-terminal of the mount
};

class CameraRig {
 public:
  // Opens the port (or builds the simulated observatory); does not talk to
  // the unit yet.
  static std::unique_ptr<CameraRig> open(const RigOptions& options, RigOpenResult& result);
  ~CameraRig();
  CameraRig(const CameraRig&) = delete;
  CameraRig& operator=(const CameraRig&) = delete;

  Camera& camera() { return *camera_; }
  // Simulation: changes the time of a register access (see RigOptions).
  void set_sim_access_us(double us);
  FrameBuffer& frame() { return frame_; }

 private:
  struct Hardware;
  struct Simulation;
  class PacedPort;
  CameraRig() = default;

  SystemClock clock_;
  CalibratedBusyCount busy_{clock_};
  PortAddresses ports_;
  std::unique_ptr<Hardware> hardware_;
  std::unique_ptr<Simulation> simulation_;
  std::unique_ptr<PacedPort> paced_;
  std::unique_ptr<Camera> camera_;
  FrameBuffer frame_;
};

}  // namespace stellacq::indi
