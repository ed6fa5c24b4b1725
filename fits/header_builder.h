// Header cards prepared for each new exposure.
//
// make_light_header / make_dark_header run just before the exposure command
// is sent, so DATE-OBS and UT give the start of the exposure. Each fills
// slots 1..36 of its card table, sets the frame kind's BITPIX, BZERO, BSCALE
// values and frame size (from the camera head and binning), and the shared
// obs_date, obs_time, fits_exptime and fits_temperature. Reads the clock, the
// shutter-speed field (Form1 Text5) and the CCD temperature field (Text4).
// Processes pending window events once, between the exposure time and the
// temperature, so the temperature read is the freshest shown.
#pragma once

namespace stellacq {

class Program;

void make_light_header(Program& p);
void make_dark_header(Program& p);

}  // namespace stellacq
