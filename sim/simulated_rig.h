// The simulated observatory as the hardware of a camera session: the
// simulated unit behind a port that can be made as slow as a real one, the
// Camera on it, and the observatory's mount served on a pseudo-terminal so a
// mount driver (LX200) moves the very mount whose pointing the camera images.
#pragma once

#include "camera/camera_rig.h"

namespace stellacq::sim {

// The hardware a simulated_opener() opens; the front-end reaches it through
// the session's run().
class SimulatedRig : public CameraHardware {
 public:
  // The time one register access takes, as on a real port (about 1 us: a
  // full frame then takes the hardware's 11 s); 0 = as fast as this
  // computer runs the simulated unit.
  virtual void set_access_us(double us) = 0;
};

// Session thread: builds the observatory for the models of `options` (its
// port is not used) and serves its mount; the pseudo-terminal comes back in
// the result's mount_device, or why it could not be served in its message.
HardwareOpener simulated_opener(const RigOptions& options, double access_us);

}  // namespace stellacq::sim
