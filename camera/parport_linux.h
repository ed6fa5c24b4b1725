// The PC's real parallel port on Linux, for the stellacq program.
//
// The port is reached through the kernel's ppdev driver: the /dev/parportN
// whose /proc/sys/dev/parport/parportN/base-addr starts with the chosen base
// address is opened and claimed, and every register access becomes one ioctl
// (the data-direction bit 0x20 of a control value goes through PPDATADIR, the
// rest through PPWCONTROL). When ppdev is not usable, raw port access
// (ioperm, inb/outb) at the base address is used if the process is allowed
// it. When neither works, open() says which device, what failed and what to
// do, for the window to show in a message box.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "camera/port_io.h"

namespace stellacq {

inline constexpr const char* kParportProcRoot = "/proc/sys/dev/parport";
inline constexpr const char* kDeviceDir = "/dev";

// The N of the parportN directory under `proc_root` whose base-addr file
// starts with `base` (written in decimal, "888\t-1"). None when no port has
// that address or the tree cannot be read.
std::optional<int> find_parport_by_base(const std::string& proc_root, std::uint16_t base);

struct ParportOpenResult {
  bool ok = false;
  std::string message;  // why the port could not be opened, and what to do
};

class LinuxParallelPort final : public PortIo {
 public:
  // `allow_raw` permits the ioperm fallback.
  explicit LinuxParallelPort(bool allow_raw = true) : allow_raw_(allow_raw) {}
  ~LinuxParallelPort() override;
  LinuxParallelPort(const LinuxParallelPort&) = delete;
  LinuxParallelPort& operator=(const LinuxParallelPort&) = delete;

  // Opens the port at `base` (0x278, 0x378 or 0x3BC). Closes a port opened before.
  ParportOpenResult open(std::uint16_t base, const std::string& proc_root = kParportProcRoot,
                         const std::string& device_dir = kDeviceDir);
  void close();
  bool is_open() const { return mode_ != Mode::Closed; }
  // "/dev/parport0" or "ioperm 0x378", for messages.
  const std::string& description() const { return description_; }

  // Registers at base, base + 1, base + 2; other addresses read 0xFF and
  // ignore writes. A closed port reads 0xFF.
  std::uint8_t PortIn(std::uint16_t address) override;
  void PortOut(std::uint16_t address, std::uint8_t value) override;

 private:
  enum class Mode { Closed, Ppdev, Raw };
  bool allow_raw_;
  Mode mode_ = Mode::Closed;
  int fd_ = -1;
  std::uint16_t base_ = 0;
  int data_direction_ = -1;  // 0 = out, 1 = in, -1 = not yet set
  std::string description_;
};

}  // namespace stellacq
