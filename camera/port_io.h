// Parallel-port seam: single-byte reads and writes at an I/O address. The
// real port (ppdev or raw port access) and the simulated control unit both
// implement it; nothing above this layer knows which one it talks to.
#pragma once

#include <cstdint>

namespace stellacq {

class PortIo {
 public:
  virtual ~PortIo() = default;
  virtual std::uint8_t PortIn(std::uint16_t address) = 0;
  virtual void PortOut(std::uint16_t address, std::uint8_t value) = 0;
};

}  // namespace stellacq
