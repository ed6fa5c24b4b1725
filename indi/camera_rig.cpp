#include "indi/camera_rig.h"

#include <chrono>
#include <thread>

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
  sim::PtyServer mount_server{observatory.mount_controller(), observatory.mount_mutex()};
};

// The simulated unit behind a port as slow as a real one: the time owed for
// the accesses made is slept off in steps of a millisecond, so the download
// takes the hardware's time without keeping a processor busy.
class CameraRig::PacedPort final : public PortIo {
 public:
  explicit PacedPort(PortIo& inner) : inner_(inner) {}
  void set_access_us(double us) { access_ns_ = us > 0 ? us * 1000.0 : 0; }
  std::uint8_t PortIn(std::uint16_t address) override {
    pace();
    return inner_.PortIn(address);
  }
  void PortOut(std::uint16_t address, std::uint8_t value) override {
    pace();
    inner_.PortOut(address, value);
  }

 private:
  void pace() {
    if (access_ns_ <= 0) return;
    owed_ns_ += access_ns_;
    if (owed_ns_ < 1e6) return;
    std::this_thread::sleep_for(std::chrono::nanoseconds(static_cast<long long>(owed_ns_)));
    owed_ns_ = 0;
  }
  PortIo& inner_;
  double access_ns_ = 0;
  double owed_ns_ = 0;
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

void CameraRig::set_sim_access_us(double us) {
  if (paced_) paced_->set_access_us(us);
}

std::unique_ptr<CameraRig> CameraRig::open(const RigOptions& options, RigOpenResult& result) {
  std::unique_ptr<CameraRig> rig(new CameraRig);
  PortIo* io = nullptr;
  if (options.simulation) {
    sim::ObservatoryOptions sim_options;
    sim_options.unit.unit_model = options.unit_model;
    rig->simulation_ = std::make_unique<Simulation>(rig->clock_, sim_options);
    rig->paced_ = std::make_unique<PacedPort>(rig->simulation_->observatory.unit());
    rig->paced_->set_access_us(options.sim_access_us);
    io = rig->paced_.get();
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
