// The ".fits.fz" a client gets from libindi when it asks for compression.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace stellacq::indi {

// The FITS file `fits` tile-compressed as fpack does it by default (Rice,
// lossless for integer data), an empty primary HDU and the image in the
// first extension. Empty text on success, else why it failed.
std::string compress_fits(const std::vector<std::uint8_t>& fits, std::vector<std::uint8_t>& compressed);

}  // namespace stellacq::indi
