// What a network front-end asks of a frame, made into what the unit takes:
// whole seconds, the whole chip read out and the part asked for cut from
// the download.
#pragma once

#include <string>
#include <vector>

#include "core/frame.h"

namespace stellacq {

// The exposure the unit takes for a requested time: the nearest whole second
// (halves to even), at least one second.
int exposure_seconds(double requested_seconds);

// A subframe of the binned chip: top left pixel and size, 0-based.
struct Subframe {
  int x = 0, y = 0, width = 0, height = 0;
};

// What the client asked for; the unit knows light (shutter open) and dark
// (shutter closed) only: a bias is a dark of the shortest time, a flat a light.
enum class FrameType { Light, Bias, Dark, Flat };

// What the front-end adds to what the frame records (its shape, seconds,
// binning, head, start_utc and CCD temperature).
struct FrameExtras {
  FrameType type = FrameType::Light;
  double pixel_um = 9.0;  // of the unbinned head
  // Where the frame lies on the binned chip: its top left pixel, 0-based
  // (a subframe starts elsewhere than 0, 0).
  int origin_x = 0;
  int origin_y = 0;
  // Cards of the front-end (INDI's standard inputs: telescope, observer,
  // object, mount position, world coordinates); those whose keyword the
  // frame's own cards already have are left out.
  std::vector<std::string> extra_cards;
};

// The part of the binned chip a request in unbinned chip pixels (INDI's
// CCD_FRAME: x, y, width, height) covers at `binning`, within the binned
// chip of `chip_width` x `chip_height` and at least one pixel each way.
Subframe binned_subframe(int x, int y, int width, int height, int binning, int chip_width, int chip_height);

// Moves the subframe `part` of a downloaded frame to the top left of its
// counts and gives the frame the part's size, as the writers read it.
void cut_subframe(Frame& frame, const Subframe& part);

}  // namespace stellacq
