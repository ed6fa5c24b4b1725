// ppdev and raw-port access to the parallel port.
#include "camera/parport_linux.h"

#include <fcntl.h>
#include <linux/ppdev.h>
#include <sys/ioctl.h>
#include <unistd.h>

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

std::string hex_address(std::uint16_t base) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%X", base);
  return text;
}

std::string error_text(int error) { return std::strerror(error); }

}  // namespace

std::optional<int> find_parport_by_base(const std::string& proc_root, std::uint16_t base) {
  namespace fs = std::filesystem;
  std::error_code ec;
  fs::directory_iterator it(proc_root, ec);
  if (ec) return std::nullopt;
  std::optional<int> found;
  for (const fs::directory_entry& entry : it) {
    const std::string name = entry.path().filename().string();
    if (name.rfind("parport", 0) != 0 || name.size() == 7 || name.size() > 10) continue;
    const std::string digits = name.substr(7);
    if (digits.find_first_not_of("0123456789") != std::string::npos) continue;
    std::ifstream in(entry.path() / "base-addr");
    long long address = -1;
    if (!(in >> address)) continue;
    if (address == base) {
      const int n = std::stoi(digits);
      if (!found || n < *found) found = n;  // the lowest number if listed twice
    }
  }
  return found;
}

LinuxParallelPort::~LinuxParallelPort() { close(); }

void LinuxParallelPort::close() {
  if (mode_ == Mode::Ppdev && fd_ >= 0) {
    ioctl(fd_, PPRELEASE);
    ::close(fd_);
  }
#ifdef STELLACQ_HAVE_RAW_PORTS
  if (mode_ == Mode::Raw) ioperm(base_, 3, 0);
#endif
  fd_ = -1;
  mode_ = Mode::Closed;
  data_direction_ = -1;
  description_.clear();
}

ParportOpenResult LinuxParallelPort::open(std::uint16_t base, const std::string& proc_root,
                                          const std::string& device_dir) {
  close();
  base_ = base;
  const std::string where = "パラレルポート " + hex_address(base);
  std::string ppdev_failure;

  const std::optional<int> n = find_parport_by_base(proc_root, base);
  if (!n) {
    ppdev_failure = proc_root + " に " + hex_address(base) + " のポートがありません";
  } else {
    const std::string device = device_dir + "/parport" + std::to_string(*n);
    const int fd = ::open(device.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) {
      ppdev_failure = device + " を開けません: " + error_text(errno);
    } else if (ioctl(fd, PPCLAIM) != 0) {
      ppdev_failure = device + " を確保できません (PPCLAIM): " + error_text(errno);
      ::close(fd);
    } else {
      fd_ = fd;
      mode_ = Mode::Ppdev;
      description_ = device;
      return {true, {}};
    }
  }

  std::string raw_failure = "直接アクセスは使いません";
#ifdef STELLACQ_HAVE_RAW_PORTS
  if (allow_raw_) {
    if (ioperm(base, 3, 1) == 0) {
      mode_ = Mode::Raw;
      description_ = "ioperm " + hex_address(base);
      return {true, {}};
    }
    raw_failure = "ioperm: " + error_text(errno);
  }
#endif

  ParportOpenResult result;
  result.message = where + " を使えません。\n" + ppdev_failure + "\n" + raw_failure +
                   "\nppdev モジュールを読み込み (sudo modprobe parport_pc ppdev)、"
                   "このユーザーを lp グループに加えて (sudo usermod -aG lp ユーザー名) "
                   "ログインし直して下さい。パラレルポートの番地も設定で確かめて下さい。";
  return result;
}

std::uint8_t LinuxParallelPort::PortIn(std::uint16_t address) {
  const int offset = address - base_;
  if (offset < 0 || offset > 2) return 0xFF;
  if (mode_ == Mode::Ppdev) {
    unsigned char value = 0xFF;
    static constexpr unsigned long kRead[3] = {PPRDATA, PPRSTATUS, PPRCONTROL};
    ioctl(fd_, kRead[offset], &value);
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
      ioctl(fd_, PPWDATA, &byte);
      return;
    }
    // ppdev sets the direction of the data lines separately from the
    // strobe, auto-feed, initialise and select bits.
    int direction = (value & 0x20) ? 1 : 0;
    if (direction != data_direction_) {
      ioctl(fd_, PPDATADIR, &direction);
      data_direction_ = direction;
    }
    byte = static_cast<unsigned char>(value & ~0x20);
    ioctl(fd_, PPWCONTROL, &byte);
    return;
  }
#ifdef STELLACQ_HAVE_RAW_PORTS
  if (mode_ == Mode::Raw) outb(value, address);
#endif
}

}  // namespace stellacq
