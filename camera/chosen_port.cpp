#include "camera/chosen_port.h"

namespace stellacq {

void ChosenParallelPort::follow(const PortAddresses& ports, Report report) {
  ports_ = &ports;
  report_ = std::move(report);
  if (ports.set) open(ports.port_data);
}

std::uint8_t ChosenParallelPort::PortIn(std::uint16_t address) {
  follow_address(address);
  return port_.PortIn(address);
}

void ChosenParallelPort::PortOut(std::uint16_t address, std::uint8_t value) {
  follow_address(address);
  port_.PortOut(address, value);
}

// Any register of a newly chosen port reopens the port at its base.
void ChosenParallelPort::follow_address(std::uint16_t address) {
  if (!ports_ || !ports_->set || ports_->port_data == opened_for_) return;
  const auto base = static_cast<std::uint16_t>(address & ~0x3u);
  if (base == ports_->port_data) open(base);
}

void ChosenParallelPort::open(std::uint16_t base) {
  opened_for_ = base;
  const ParportOpenResult result = port_.open(base, proc_root_, device_dir_);
  if (!result.ok && report_) report_(result.message);
}

}  // namespace stellacq
