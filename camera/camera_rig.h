// The hardware a camera session opens, as the network front-ends choose it:
// the models and the port, and the opener of the real parallel port,
// claimed for this process alone. The simulated observatory has an opener
// of its own (sim/simulated_rig.h); a front-end picks one of the two.
#pragma once

#include <string>

#include "camera/camera_session.h"
#include "camera/geometry.h"
#include "config/settings.h"

namespace stellacq {

struct RigOptions {
  std::string port = "/dev/parport0";  // "/dev/parportN" or a base address ("0x378")
  int head_model = kHeadTx22;
  int unit_model = kUnitTu22;
};

// Session thread: opens the port `options` names (failing with `held` set
// when another program or driver has it) and makes the Camera on it; does
// not talk to the unit yet.
HardwareOpener parport_opener(const RigOptions& options);

// The addresses of the data, status and control registers of a port at `base`.
PortAddresses port_addresses(std::uint16_t base);

}  // namespace stellacq
