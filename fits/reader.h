// The FITS reader: brings a FITS file into the light frame, the dark frame
// or the flat field.
//
// Accepts BITPIX 8, 16 and 32 images whose NAXIS1 x NAXIS2 fits a frame
// buffer (a file with more axes yields its first plane). Pixel values follow
// the FITS rule value = BZERO + BSCALE x stored, stored signed for 16 and 32
// bits and unsigned for 8, rounded half to even and clipped to 32 bits. Files
// this program wrote before it used the standard unsigned form (BITPIX 16,
// BZERO 0, our COMMENT card) hold unsigned counts and are read so.
//
// A load either succeeds completely or changes nothing: the file is parsed
// and decoded into scratch storage, checked, and only then committed to the
// target's card table (slots 1..END, with BZERO and BSCALE cards replaced by
// the 0 and 1 cards that describe the counts as held), header values
// (the flat field uses the light frame's), frame rows, extremes, flat_mean
// and flat_loaded. A light load ends with auto_level. Every refusal is
// explained in a message box.
#pragma once

#include <string>

namespace stellacq {

class Program;

// Loads `path` into the frame kind of `target_mode` (0 light, 10 dark,
// 20 flat). Returns true when the frame was replaced.
bool load_fits(Program& p, const std::string& path, int target_mode);

}  // namespace stellacq
