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
// and flat_loaded. A light load ends with auto_level. A refusal says why.
#pragma once

#include <optional>
#include <string>

#include "fits/header_tables.h"
#include "image/frames.h"

namespace stellacq {

// Loads `path` into the frame kind of `target_mode` (0 light, 10 dark,
// 20 flat) with its cards and header values. Nothing, when the frame was
// replaced; otherwise why the file was refused, and nothing changed.
std::optional<std::string> read_fits_frame(const std::string& path, int target_mode, HeaderTables& headers,
                                           Frames& frames);

}  // namespace stellacq
