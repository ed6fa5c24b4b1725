// FITS header card tables of the light, dark and flat frames and their
// numeric header values. A table has 145 slots numbered 0..144, each holding
// one 80-character card (or the empty text); slots 1..36 are the header
// block prepared before an exposure, slots 37..144 hold the rest of a longer
// header read from a file. Slot 0 is never written.
#pragma once

#include <array>
#include <string>

namespace stellacq {

inline constexpr int kHeaderSlots = 145;
using CardTable = std::array<std::string, kHeaderSlots>;

struct HeaderTables {
  CardTable light_header;
  CardTable dark_header;
  CardTable flat_header;

  // Shared by the light frame and the flat field.
  double light_bitpix = 0, light_bzero = 0, light_bscale = 0;
  double dark_bitpix = 0, dark_bzero = 0, dark_bscale = 0;

  // Values of the last header build (either kind).
  std::string obs_date;         // "YYYY-MM-DD", the local date
  std::string obs_time;         // "hh:mm:ss", the local time of day
  double fits_exptime = 0;      // seconds
  double fits_temperature = 0;  // degrees C
};

// file_mode values: what the file dialog or the writer does.
inline constexpr int kOpenLight = 0;
inline constexpr int kOpenDark = 10;
inline constexpr int kOpenFlat = 20;
inline constexpr int kSaveLight = 1;
inline constexpr int kSaveDark = 11;

struct FileState {
  int file_mode = kOpenLight;
  std::string save_file_name;  // full path of the file to read or write
};

}  // namespace stellacq
