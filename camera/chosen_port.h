// The real parallel port that the settings chose, for the stellacq program.
//
// It opens the port at the base address of the program's port addresses,
// and again whenever that choice changes (the parallel-port dialog may pick
// another port while the program runs). A port that cannot be opened reads
// 0xFF, so the camera link gives up on it with its own message; why it could
// not be opened is handed to `report` once per address. The window shows it
// after the running exchange, never inside it.
//
// A port named by the user (the STELLACQ_PARPORT variable: a device or a
// card's base address) replaces the chosen one for the whole run.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "camera/parport_linux.h"
#include "config/settings.h"

namespace stellacq {

class ChosenParallelPort final : public PortIo {
 public:
  using Report = std::function<void(const std::string& message)>;

  explicit ChosenParallelPort(bool allow_raw = true, std::string proc_root = kParportProcRoot,
                              std::string device_dir = kDeviceDir, PpdevCalls& calls = system_ppdev_calls())
      : port_(allow_raw, calls), proc_root_(std::move(proc_root)), device_dir_(std::move(device_dir)) {}

  // From now on the port follows `ports`; opens it at once when one is chosen.
  void follow(const PortAddresses& ports, Report report);

  // From now on the port is the one `name` names (as parse_parport_name
  // takes it) instead of the chosen one: opens it at once and points `ports`
  // at its registers (base, base + 1, base + 2). A port chosen later in the
  // dialog changes nothing: registers are taken by their offset from the
  // chosen base. A name that names no port is reported and no port is used
  // (the link then reads 0xFF and says the unit does not answer).
  void use_named(const std::string& name, PortAddresses& ports, Report report);

  std::uint8_t PortIn(std::uint16_t address) override;
  void PortOut(std::uint16_t address, std::uint8_t value) override;

  bool is_open() const { return port_.is_open(); }

 private:
  void follow_address(std::uint16_t address);
  void open(std::uint16_t base);
  // The named port's register for `address`, a register of the chosen port.
  std::uint16_t named_address(std::uint16_t address) const;

  LinuxParallelPort port_;
  std::string proc_root_, device_dir_;
  const PortAddresses* ports_ = nullptr;
  Report report_;
  std::uint16_t opened_for_ = 0;
  bool named_ = false;
};

}  // namespace stellacq
