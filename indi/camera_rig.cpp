#include "indi/camera_rig.h"

#include "camera/parport_linux.h"
#include "sim/control_unit.h"
#include "sim/observatory.h"
#include "sim/pty_server.h"

namespace stellacq::indi {

struct CameraRig::Hardware {
  LinuxParallelPort port{false};
};

struct CameraRig::Simulation {
  explicit Simulation(Clock& clock, const sim::ObservatoryOptions& options) : observatory(clock, options) {}
  sim::Observatory observatory;
  // Feeds the mount from its own thread under the observatory's mount mutex,
  // which the unit also takes when an exposure ends to read the pointing.
  sim::PtyServer mount_server{observatory.mount(), observatory.mount_mutex()};
};

namespace {

void set_addresses(std::uint16_t base, PortAddresses& ports) {
  ports.set = true;
  ports.port_data = base;
  ports.port_status = static_cast<std::uint16_t>(base + 1);
  ports.port_control = static_cast<std::uint16_t>(base + 2);
}

}  // namespace

CameraRig::~CameraRig() = default;

std::unique_ptr<CameraRig> CameraRig::open(const RigOptions& options, RigOpenResult& result) {
  std::unique_ptr<CameraRig> rig(new CameraRig);
  PortIo* io = nullptr;
  if (options.simulation) {
    sim::ObservatoryOptions sim_options;
    sim_options.unit.unit_model = options.unit_model;
    rig->simulation_ = std::make_unique<Simulation>(rig->clock_, sim_options);
    io = &rig->simulation_->observatory.unit();
    set_addresses(sim::kSimBase, rig->ports_);
    std::string error;
    if (rig->simulation_->mount_server.start(&error))
      result.mount_device = rig->simulation_->mount_server.path();
    else
      result.message = "The simulated mount could not be served: " + error;
  } else {
    rig->hardware_ = std::make_unique<Hardware>();
    const ParportOpenResult opened = rig->hardware_->port.open_named(options.port);
    if (!opened.ok) {
      result.held = opened.held;
      result.message = opened.message;
      return nullptr;
    }
    io = &rig->hardware_->port;
    set_addresses(rig->hardware_->port.base(), rig->ports_);
  }
  rig->camera_ = std::make_unique<Camera>(*io, rig->ports_, rig->clock_, rig->busy_);
  rig->camera_->set_models(options.head_model, options.unit_model);
  result.ok = true;
  return rig;
}

}  // namespace stellacq::indi
