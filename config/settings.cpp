#include "config/settings.h"

namespace stellacq {

bool apply_parallel_port(std::int16_t parallel_port, PortAddresses& addresses) {
  std::uint16_t base = 0;
  switch (parallel_port) {
    case 1:
      base = 0x278;
      break;
    case 2:
      base = 0x378;
      break;
    case 3:
      base = 0x3BC;
      break;
    default:
      return false;
  }
  addresses = {true, base, static_cast<std::uint16_t>(base + 1), static_cast<std::uint16_t>(base + 2)};
  return true;
}

}  // namespace stellacq
