// The PC's real parallel port on Linux, for the stellacq program and the
// INDI driver.
//
// The port is reached through the kernel's ppdev driver: a /dev/parportN
// (named directly, or the one whose /proc/sys/dev/parport/parportN/base-addr
// starts with the chosen base address) is opened and registered exclusively
// (PPEXCL, then PPCLAIM), so that a port another program or the printer
// driver holds is refused at once instead of waiting for it to be released.
// Every register access becomes one ioctl (the data-direction bit 0x20 of a
// control value goes through PPDATADIR, the rest through PPWCONTROL). When
// ppdev is not usable, raw port access (ioperm, inb/outb) at the base address
// is used if the process is allowed it; never for a port that is held. When
// nothing works, the open functions say which port was tried, what failed,
// who holds it if that can be found, which ports the kernel knows and what to
// do, for a message box.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "camera/port_io.h"

namespace stellacq {

inline constexpr const char* kParportProcRoot = "/proc/sys/dev/parport";
inline constexpr const char* kDeviceDir = "/dev";

// The system calls behind a ppdev port; tests put a fake device behind them.
// Each returns what the system call returns on success (a descriptor, 0) and
// -errno on failure.
class PpdevCalls {
 public:
  virtual ~PpdevCalls() = default;
  virtual int open(const std::string& path) = 0;  // read and write, close-on-exec
  virtual int ioctl(int fd, unsigned long request, void* argument) = 0;
  virtual void close(int fd) = 0;
};

// open(2), ioctl(2) and close(2).
PpdevCalls& system_ppdev_calls();

// A parallel port the kernel knows: /proc/sys/dev/parport/parportN and the
// first number of its base-addr file.
struct KnownParport {
  int number = 0;
  std::uint16_t base = 0;
};

// The ports listed under `proc_root`, by number. Empty when the tree cannot
// be read (parport not loaded).
std::vector<KnownParport> known_parports(const std::string& proc_root);

// The N of the parportN directory under `proc_root` whose base-addr file
// starts with `base` (written in decimal, "888\t-1"). None when no port has
// that address or the tree cannot be read.
std::optional<int> find_parport_by_base(const std::string& proc_root, std::uint16_t base);

// What a port name, as the STELLACQ_PARPORT variable and the INDI driver's
// port setting take it, stands for: a device ("/dev/parport1", or
// "parport1" for the one in the device folder) or a base address in
// hexadecimal with 0x ("0xd010", "0x378"). Blanks around the name are
// ignored.
struct ParportName {
  bool ok = false;
  std::string device;      // the device named, or empty when an address is
  std::uint16_t base = 0;  // the address named (1..0xFFFD), or 0 when a device is
  std::string message;     // why the text names no port
};
ParportName parse_parport_name(const std::string& text);

struct ParportOpenResult {
  bool ok = false;
  bool held = false;    // another program or driver has the port
  std::string message;  // why the port could not be opened, and what to do
};

class LinuxParallelPort final : public PortIo {
 public:
  // `allow_raw` permits the ioperm fallback.
  explicit LinuxParallelPort(bool allow_raw = true, PpdevCalls& calls = system_ppdev_calls())
      : allow_raw_(allow_raw), calls_(calls) {}
  ~LinuxParallelPort() override;
  LinuxParallelPort(const LinuxParallelPort&) = delete;
  LinuxParallelPort& operator=(const LinuxParallelPort&) = delete;

  // Opens the port at `base` (0x278, 0x378, 0x3BC or a card's address).
  // Closes a port opened before. Never waits for a port another program holds.
  ParportOpenResult open(std::uint16_t base, const std::string& proc_root = kParportProcRoot,
                         const std::string& device_dir = kDeviceDir);

  // Opens the port `name` names (see parse_parport_name); afterwards base()
  // is the address whose registers (base, base + 1, base + 2) reach it. A
  // device named directly has the base address the kernel lists for it, or
  // 0x378 when the kernel lists none (ppdev reaches the registers by offset,
  // so the number only has to be the one the link uses). A name that names
  // no port is refused with the reason.
  ParportOpenResult open_named(const std::string& name, const std::string& proc_root = kParportProcRoot,
                               const std::string& device_dir = kDeviceDir);

  void close();
  bool is_open() const { return mode_ != Mode::Closed; }
  // The base address of the port opened (or last tried).
  std::uint16_t base() const { return base_; }
  // "/dev/parport0" or "ioperm 0x378", for messages.
  const std::string& description() const { return description_; }

  // Registers at base, base + 1, base + 2; other addresses read 0xFF and
  // ignore writes. A closed port reads 0xFF.
  std::uint8_t PortIn(std::uint16_t address) override;
  void PortOut(std::uint16_t address, std::uint8_t value) override;

 private:
  enum class Mode { Closed, Ppdev, Raw };
  // Opens and claims `device`; empty on success, else why not.
  std::string claim(const std::string& device, const std::string& proc_root, bool& held);
  ParportOpenResult failure(const std::string& tried, const std::string& why, bool held,
                            const std::string& proc_root) const;

  bool allow_raw_;
  PpdevCalls& calls_;
  Mode mode_ = Mode::Closed;
  int fd_ = -1;
  std::uint16_t base_ = 0;
  int data_direction_ = -1;  // 0 = out, 1 = in, -1 = not yet set
  std::string description_;
};

}  // namespace stellacq
