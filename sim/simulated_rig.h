// The simulated observatory as the hardware of a camera session: the
// simulated unit behind a port that can be made as slow as a real one, the
// Camera on it, and the observatory's mount served on a pseudo-terminal so a
// mount driver (LX200) moves the very mount whose pointing the camera images.
#pragma once

#include <memory>
#include <string>

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

// A simulated observatory that outlives the camera's connections: its mount
// is served on a pseudo-terminal from start to destruction, through a
// symbolic link of a fixed name, so a mount driver's saved port stays good
// across the camera's connects and the driver's restarts. Each connect opens
// the camera on it (the unit set to the connect's model).
class SimulatedSite;

// Builds the observatory and serves its mount, with a symbolic link at
// `link` (replacing a link left there, never anything else). Null with the
// reason in `error` when the mount cannot be served.
std::shared_ptr<SimulatedSite> start_simulated_site(const std::string& link, std::string* error);
// Session thread, as above, on `site`; mount_device is the link.
HardwareOpener simulated_opener(std::shared_ptr<SimulatedSite> site, const RigOptions& options,
                                double access_us);

}  // namespace stellacq::sim
