#include "core/wire_log.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>

namespace stellacq {

namespace detail {
std::atomic<bool> wire_log_enabled{false};
}  // namespace detail

namespace {

std::mutex& sink_mutex() {
  static std::mutex m;
  return m;
}

WireSink& installed_sink() {
  static WireSink sink;
  return sink;
}

}  // namespace

void set_wire_sink(WireSink sink) {
  std::lock_guard<std::mutex> lock(sink_mutex());
  installed_sink() = std::move(sink);
  detail::wire_log_enabled.store(static_cast<bool>(installed_sink()), std::memory_order_relaxed);
}

void detail::deliver_wire_entry(WireDevice device, WireDirection direction, std::string_view bytes) {
  const WireEntry entry{std::chrono::system_clock::now(), device, direction, bytes};
  std::lock_guard<std::mutex> lock(sink_mutex());
  if (installed_sink()) installed_sink()(entry);
}

std::string printable_bytes(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (const char ch : bytes) {
    const auto u = static_cast<unsigned char>(ch);
    if (ch == '\r') {
      out += "\\r";
    } else if (ch == '\n') {
      out += "\\n";
    } else if (ch == '\\') {
      out += "\\\\";
    } else if (u >= 0x20 && u < 0x7F) {
      out += ch;
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", u);
      out += hex;
    }
  }
  return out;
}

std::string wire_line(const WireEntry& entry) {
  using namespace std::chrono;
  const std::time_t seconds = system_clock::to_time_t(entry.when);
  const auto ms = duration_cast<milliseconds>(entry.when.time_since_epoch()).count() % 1000;
  std::tm local{};
  ::localtime_r(&seconds, &local);
  char stamp[32];
  std::snprintf(stamp, sizeof stamp, "%02d:%02d:%02d.%03d", local.tm_hour, local.tm_min, local.tm_sec,
                static_cast<int>(ms < 0 ? ms + 1000 : ms));
  const char* device = entry.device == WireDevice::Camera ? "camera" : "mount";
  const char* direction = entry.direction == WireDirection::Sent       ? ">"
                          : entry.direction == WireDirection::Received ? "<"
                                                                       : "!";
  std::string line = stamp;
  line += ' ';
  line += device;
  line += ' ';
  line += direction;
  line += ' ';
  // An event's text is the program's own: it is shown as it is.
  line += entry.direction == WireDirection::Event ? std::string(entry.bytes) : printable_bytes(entry.bytes);
  return line;
}

WireSink stderr_wire_sink() {
  return [](const WireEntry& entry) {
    const std::string line = wire_line(entry) + '\n';
    std::fwrite(line.data(), 1, line.size(), stderr);
  };
}

bool wire_log_from_environment() {
  const char* debug = std::getenv("STELLACQ_DEBUG");
  if (debug == nullptr || std::strcmp(debug, "1") != 0) return false;
  set_wire_sink(stderr_wire_sink());
  return true;
}

}  // namespace stellacq
