// Header cards prepared for each new exposure.
//
// make_light_header / make_dark_header run just before the exposure command
// is sent, so DATE-OBS and UT give the start of the exposure. Each fills
// slots 1..36 of its card table, sets the frame kind's BITPIX, BZERO, BSCALE
// values and frame size (from the camera head and binning), and the shared
// obs_date, obs_time, fits_exptime and fits_temperature. The shooting
// records in the frame what its header keeps (the clock, the shutter-speed
// field, and, after pending window events have run once, the CCD
// temperature field, so that the temperature is the freshest shown) and
// hands the frame in.
#pragma once

#include "fits/header_tables.h"
#include "image/frames.h"

namespace stellacq {

// Each writes the header of `frame` from what the frame records (head,
// binning, start, seconds, CCD temperature, no reading taken as 0), marks
// the frame's kind and gives it the size of the head and binning.
void make_light_header(HeaderTables& headers, Frame& light);
void make_dark_header(HeaderTables& headers, Frame& dark);

}  // namespace stellacq
