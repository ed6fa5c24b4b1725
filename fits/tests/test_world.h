// Helpers of the FITS tests on top of the offline program world.
#pragma once

#include <string>

#include "core/tests/offline_world.h"

namespace stellacq::testing {

using World = OfflineWorld;

// A header card: the text filled with blanks to 80 characters.
inline std::string pad(const std::string& s) { return s + std::string(80 - s.size(), ' '); }

}  // namespace stellacq::testing
