#include "camera/camera_rig.h"

#include "camera/parport_linux.h"
#include "core/busy_count.h"
#include "core/clock.h"

namespace stellacq {

namespace {

// The real port and the Camera on it, with the clock and busy count the
// camera link times itself by.
class ParportHardware final : public CameraHardware {
 public:
  Camera& camera() override { return *camera_; }

  SystemClock clock;
  CalibratedBusyCount busy{clock};
  LinuxParallelPort port{false};
  PortAddresses ports;  // the Camera keeps a reference
  std::unique_ptr<Camera> camera_;
};

}  // namespace

PortAddresses port_addresses(std::uint16_t base) {
  PortAddresses ports;
  ports.set = true;
  ports.port_data = base;
  ports.port_status = static_cast<std::uint16_t>(base + 1);
  ports.port_control = static_cast<std::uint16_t>(base + 2);
  return ports;
}

HardwareOpener parport_opener(const RigOptions& options) {
  return [options](HardwareOpenResult& result) -> std::unique_ptr<CameraHardware> {
    auto hardware = std::make_unique<ParportHardware>();
    const ParportOpenResult opened = hardware->port.open_named(options.port);
    if (!opened.ok) {
      result.held = opened.held;
      result.message = opened.message;
      return nullptr;
    }
    hardware->ports = port_addresses(hardware->port.base());
    hardware->camera_ =
        std::make_unique<Camera>(hardware->port, hardware->ports, hardware->clock, hardware->busy);
    hardware->camera_->set_models(options.head_model, options.unit_model);
    result.ok = true;
    return hardware;
  };
}

}  // namespace stellacq
