#include "sim/observatory.h"

namespace stellacq::sim {

void SettingsFollowingPort::PortOut(std::uint16_t address, std::uint8_t value) {
  if (settings_ && ports_ && address == ports_->port_data) unit_.options().unit_model = settings_->unit_model;
  unit_.PortOut(address, value);
}

Observatory::Observatory(Clock& clock, const ObservatoryOptions& options)
    : sky_(options.sky),
      unit_(clock, sky_, options.unit),
      mount_axes_(clock, sky_.ra_deg(), sky_.dec_deg(), options.mount_axes),
      mount_controller_(clock, mount_axes_, options.mount_controller) {
  unit_.on_exposure_end([this] {
    std::lock_guard lock(mount_mutex_);
    sky_.set_pointing(mount_axes_.ra_deg(), mount_axes_.dec_deg());
  });
}

}  // namespace stellacq::sim
