// ppdev and raw-port access to the parallel port.
#include "camera/parport_linux.h"

#include <fcntl.h>
#include <linux/ppdev.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

#if defined(__x86_64__) || defined(__i386__)
#include <sys/io.h>
#define STELLACQ_HAVE_RAW_PORTS 1
#endif

namespace stellacq {

namespace {

namespace fs = std::filesystem;

// ppdev reaches the registers by offset from the port it opened, so a device
// whose base address the kernel does not list still needs some number for
// the link's register addresses; this is the most common one.
constexpr std::uint16_t kUnlistedDeviceBase = 0x378;
constexpr const char* kProcParportSuffix = "/sys/dev/parport";

std::string hex_address(std::uint16_t base) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%X", base);
  return text;
}

std::string error_text(int error) { return std::strerror(error); }

class SystemPpdevCalls final : public PpdevCalls {
 public:
  int open(const std::string& path) override {
    // O_NOCTTY: a name that turns out to be a terminal never becomes the
    // process's controlling terminal.
    const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC | O_NOCTTY);
    return fd >= 0 ? fd : -errno;
  }
  int ioctl(int fd, unsigned long request, void* argument) override {
    return ::ioctl(fd, request, argument) == 0 ? 0 : -errno;
  }
  void close(int fd) override { ::close(fd); }
};

// The N of a "parportN" file name, if it is one.
std::optional<int> parport_number(const std::string& name) {
  if (name.rfind("parport", 0) != 0 || name.size() == 7 || name.size() > 10) return std::nullopt;
  const std::string digits = name.substr(7);
  if (digits.find_first_not_of("0123456789") != std::string::npos) return std::nullopt;
  return std::stoi(digits);
}

std::string read_first_line(const fs::path& path) {
  std::ifstream in(path);
  std::string line;
  std::getline(in, line);
  while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t')) line.pop_back();
  return line;
}

// Who has the port: the kernel's devices registered on it (the one that has
// claimed it first, "lp0" for the printer driver, "ppdev0" for a program on
// /dev/parport0) and the processes that have `device` open, found in their
// /proc/PID/fd. Only what this user may read is found.
std::vector<std::string> port_holders(const std::string& device, std::optional<int> number,
                                      const std::string& proc_root) {
  std::vector<std::string> holders;
  std::error_code ec;
  if (number) {
    const fs::path devices = fs::path(proc_root) / ("parport" + std::to_string(*number)) / "devices";
    const std::string active = read_first_line(devices / "active");
    if (!active.empty() && active != "none") holders.push_back(active);
    std::vector<std::string> registered;
    for (const fs::directory_entry& entry : fs::directory_iterator(devices, ec)) {
      const std::string name = entry.path().filename().string();
      if (name != "active" && name != active) registered.push_back(name);
    }
    std::sort(registered.begin(), registered.end());
    holders.insert(holders.end(), registered.begin(), registered.end());
  }

  // /proc itself, when the parport tree is where the kernel puts it.
  if (proc_root.size() <= std::strlen(kProcParportSuffix) ||
      proc_root.compare(proc_root.size() - std::strlen(kProcParportSuffix), std::string::npos,
                        kProcParportSuffix) != 0)
    return holders;
  const fs::path processes = proc_root.substr(0, proc_root.size() - std::strlen(kProcParportSuffix));
  const fs::path wanted = fs::weakly_canonical(device, ec);
  std::vector<std::pair<long, std::string>> found;
  for (const fs::directory_entry& process : fs::directory_iterator(processes, ec)) {
    const std::string pid = process.path().filename().string();
    if (pid.empty() || pid.find_first_not_of("0123456789") != std::string::npos) continue;
    std::error_code fd_ec;
    for (const fs::directory_entry& fd : fs::directory_iterator(process.path() / "fd", fd_ec)) {
      std::error_code link_ec;
      const fs::path target = fs::read_symlink(fd.path(), link_ec);
      if (link_ec || (target != wanted && target != fs::path(device))) continue;
      std::string command = read_first_line(process.path() / "comm");
      if (command.empty()) command = "?";
      found.emplace_back(std::stol(pid), command + " (pid " + pid + ")");
      break;
    }
  }
  std::sort(found.begin(), found.end());
  for (auto& entry : found) holders.push_back(std::move(entry.second));
  return holders;
}

std::string join(const std::vector<std::string>& parts) {
  std::string text;
  for (const std::string& part : parts) text += (text.empty() ? "" : ", ") + part;
  return text;
}

}  // namespace

PpdevCalls& system_ppdev_calls() {
  static SystemPpdevCalls calls;
  return calls;
}

std::vector<KnownParport> known_parports(const std::string& proc_root) {
  std::vector<KnownParport> ports;
  std::error_code ec;
  for (const fs::directory_entry& entry : fs::directory_iterator(proc_root, ec)) {
    const std::optional<int> n = parport_number(entry.path().filename().string());
    if (!n) continue;
    std::ifstream in(entry.path() / "base-addr");
    long long address = -1;
    if (!(in >> address) || address <= 0 || address > 0xFFFF) continue;
    ports.push_back({*n, static_cast<std::uint16_t>(address)});
  }
  std::sort(ports.begin(), ports.end(),
            [](const KnownParport& a, const KnownParport& b) { return a.number < b.number; });
  return ports;
}

std::optional<int> find_parport_by_base(const std::string& proc_root, std::uint16_t base) {
  for (const KnownParport& port : known_parports(proc_root))
    if (port.base == base) return port.number;  // the lowest number if listed twice
  return std::nullopt;
}

ParportName parse_parport_name(const std::string& text) {
  ParportName result;
  const std::size_t first = text.find_first_not_of(" \t\r\n");
  const std::size_t last = text.find_last_not_of(" \t\r\n");
  const std::string name = first == std::string::npos ? std::string() : text.substr(first, last - first + 1);
  const std::string usage =
      "/dev/parport1 のようなデバイスか、0xd010 のように 0x を付けた16進の番地で指定して下さい。";
  if (name.empty()) {
    result.message = "パラレルポートの指定が空です。" + usage;
    return result;
  }
  if (name[0] == '/' || parport_number(name)) {
    result.ok = true;
    result.device = name;
    return result;
  }
  if (name.size() > 2 && name[0] == '0' && (name[1] == 'x' || name[1] == 'X')) {
    const std::string digits = name.substr(2);
    if (digits.size() <= 6 && digits.find_first_not_of("0123456789abcdefABCDEF") == std::string::npos) {
      const unsigned long value = std::stoul(digits, nullptr, 16);
      if (value >= 1 && value <= 0xFFFD) {
        result.ok = true;
        result.base = static_cast<std::uint16_t>(value);
        return result;
      }
      result.message = "パラレルポートの番地 \"" + name + "\" は範囲外です (0x1 から 0xFFFD まで)。";
      return result;
    }
  }
  result.message = "\"" + name + "\" はパラレルポートを表しません。" + usage;
  return result;
}

LinuxParallelPort::~LinuxParallelPort() { close(); }

void LinuxParallelPort::close() {
  if (mode_ == Mode::Ppdev && fd_ >= 0) {
    calls_.ioctl(fd_, PPRELEASE, nullptr);
    calls_.close(fd_);
  }
#ifdef STELLACQ_HAVE_RAW_PORTS
  if (mode_ == Mode::Raw) ioperm(base_, 3, 0);
#endif
  fd_ = -1;
  mode_ = Mode::Closed;
  data_direction_ = -1;
  description_.clear();
}

std::string LinuxParallelPort::claim(const std::string& device, const std::string& proc_root, bool& held) {
  const int fd = calls_.open(device);
  if (fd < 0) return device + " を開けません: " + error_text(-fd);
  // Registered exclusively, the claim fails at once (ENXIO, or EBUSY) while
  // any other program or driver is registered on the port; without PPEXCL it
  // would wait until the other one lets go.
  const char* step = "PPEXCL";
  int result = calls_.ioctl(fd, PPEXCL, nullptr);
  if (result == 0) {
    step = "PPCLAIM";
    result = calls_.ioctl(fd, PPCLAIM, nullptr);
  }
  if (result == 0) {
    fd_ = fd;
    mode_ = Mode::Ppdev;
    description_ = device;
    return {};
  }
  calls_.close(fd);
  const std::string why = device + " を確保できません (" + step + "): " + error_text(-result);
  held = result == -EBUSY || (result == -ENXIO && std::string(step) == "PPCLAIM");
  if (!held) return why;
  std::error_code ec;
  const fs::path resolved = fs::weakly_canonical(device, ec);
  const std::vector<std::string> holders =
      port_holders(device, parport_number((ec ? fs::path(device) : resolved).filename().string()), proc_root);
  return why + "\n" + device + " は他のプログラムかドライバーが使用中です" +
         (holders.empty() ? std::string("。") : ": " + join(holders) + "。");
}

ParportOpenResult LinuxParallelPort::failure(const std::string& tried, const std::string& why, bool held,
                                             const std::string& proc_root) const {
  ParportOpenResult result;
  result.held = held;
  result.message = "パラレルポート " + tried + " を使えません。\n" + why + "\n";
  const std::vector<KnownParport> ports = known_parports(proc_root);
  if (ports.empty()) {
    result.message += "カーネルはパラレルポートを知りません (" + proc_root + " にポートがありません)。\n";
  } else {
    std::vector<std::string> listed;
    for (const KnownParport& port : ports)
      listed.push_back("parport" + std::to_string(port.number) + " " + hex_address(port.base));
    result.message += "カーネルが知っているパラレルポート: " + join(listed) + "\n";
  }
  if (held)
    result.message +=
        "使っているプログラムを終了し (プリンタードライバー lp なら sudo rmmod lp)、"
        "開き直して下さい。";
  else
    result.message +=
        "ppdev モジュールを読み込み (sudo modprobe parport_pc ppdev)、"
        "このユーザーを lp グループに加えて (sudo usermod -aG lp ユーザー名) "
        "ログインし直して下さい。パラレルポートの番地も設定か環境変数 STELLACQ_PARPORT "
        "(/dev/parport1、0xd010 など) で確かめて下さい。";
  return result;
}

ParportOpenResult LinuxParallelPort::open(std::uint16_t base, const std::string& proc_root,
                                          const std::string& device_dir) {
  close();
  base_ = base;
  std::string tried = hex_address(base);
  std::string ppdev_failure;
  bool held = false;

  const std::optional<int> n = find_parport_by_base(proc_root, base);
  if (!n) {
    ppdev_failure = proc_root + " に " + hex_address(base) + " のポートがありません";
  } else {
    const std::string device = device_dir + "/parport" + std::to_string(*n);
    tried += " (" + device + ")";
    ppdev_failure = claim(device, proc_root, held);
    if (ppdev_failure.empty()) return {true, false, {}};
  }

  // Raw access would go around the kernel's claim of a port that is held.
  std::string raw_failure = "直接アクセスは使いません";
#ifdef STELLACQ_HAVE_RAW_PORTS
  if (allow_raw_ && !held) {
    if (ioperm(base, 3, 1) == 0) {
      mode_ = Mode::Raw;
      description_ = "ioperm " + hex_address(base);
      return {true, false, {}};
    }
    raw_failure = "ioperm: " + error_text(errno);
  }
#endif
  return failure(tried, ppdev_failure + "\n" + raw_failure, held, proc_root);
}

ParportOpenResult LinuxParallelPort::open_named(const std::string& name, const std::string& proc_root,
                                                const std::string& device_dir) {
  close();
  const ParportName parsed = parse_parport_name(name);
  if (!parsed.ok) return failure("\"" + name + "\"", parsed.message, false, proc_root);
  if (parsed.device.empty()) return open(parsed.base, proc_root, device_dir);

  const std::string device = parsed.device[0] == '/' ? parsed.device : device_dir + "/" + parsed.device;
  std::error_code ec;
  const fs::path resolved = fs::weakly_canonical(device, ec);
  const std::optional<int> n = parport_number((ec ? fs::path(device) : resolved).filename().string());
  base_ = kUnlistedDeviceBase;
  if (n)
    for (const KnownParport& port : known_parports(proc_root))
      if (port.number == *n) base_ = port.base;
  bool held = false;
  const std::string why = claim(device, proc_root, held);
  if (why.empty()) return {true, false, {}};
  return failure(device, why, held, proc_root);
}

std::uint8_t LinuxParallelPort::PortIn(std::uint16_t address) {
  const int offset = address - base_;
  if (offset < 0 || offset > 2) return 0xFF;
  if (mode_ == Mode::Ppdev) {
    unsigned char value = 0xFF;
    static constexpr unsigned long kRead[3] = {PPRDATA, PPRSTATUS, PPRCONTROL};
    calls_.ioctl(fd_, kRead[offset], &value);
    return value;
  }
#ifdef STELLACQ_HAVE_RAW_PORTS
  if (mode_ == Mode::Raw) return inb(address);
#endif
  return 0xFF;
}

void LinuxParallelPort::PortOut(std::uint16_t address, std::uint8_t value) {
  const int offset = address - base_;
  if (offset != 0 && offset != 2) return;
  if (mode_ == Mode::Ppdev) {
    unsigned char byte = value;
    if (offset == 0) {
      calls_.ioctl(fd_, PPWDATA, &byte);
      return;
    }
    // ppdev sets the direction of the data lines separately from the
    // strobe, auto-feed, initialise and select bits.
    int direction = (value & 0x20) ? 1 : 0;
    if (direction != data_direction_) {
      calls_.ioctl(fd_, PPDATADIR, &direction);
      data_direction_ = direction;
    }
    byte = static_cast<unsigned char>(value & ~0x20);
    calls_.ioctl(fd_, PPWCONTROL, &byte);
    return;
  }
#ifdef STELLACQ_HAVE_RAW_PORTS
  if (mode_ == Mode::Raw) outb(value, address);
#endif
}

}  // namespace stellacq
