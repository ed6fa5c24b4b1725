#include "camera/chosen_port.h"

namespace stellacq {

void ChosenParallelPort::follow(const PortAddresses& ports, Report report) {
  ports_ = &ports;
  report_ = std::move(report);
  if (ports.set) open(ports.port_data);
}

void ChosenParallelPort::use_named(const std::string& name, PortAddresses& ports, Report report) {
  ports_ = &ports;
  report_ = std::move(report);
  named_ = true;
  const ParportOpenResult result = port_.open_named(name, proc_root_, device_dir_);
  if (port_.base() != 0) {
    ports.set = true;
    ports.port_data = port_.base();
    ports.port_status = static_cast<std::uint16_t>(port_.base() + 1);
    ports.port_control = static_cast<std::uint16_t>(port_.base() + 2);
  }
  if (!result.ok && report_) report_("環境変数 STELLACQ_PARPORT=" + name + ": " + result.message);
}

std::uint16_t ChosenParallelPort::named_address(std::uint16_t address) const {
  const int offset = address - ports_->port_data;
  if (offset < 0 || offset > 2) return address;
  return static_cast<std::uint16_t>(port_.base() + offset);
}

std::uint8_t ChosenParallelPort::PortIn(std::uint16_t address) {
  if (named_) return port_.PortIn(named_address(address));
  follow_address(address);
  return port_.PortIn(address);
}

void ChosenParallelPort::PortOut(std::uint16_t address, std::uint8_t value) {
  if (named_) return port_.PortOut(named_address(address), value);
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
