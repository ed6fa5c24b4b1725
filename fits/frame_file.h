// A frame taken by a network front-end (the INDI driver, the Alpaca server)
// as a FITS file: the header cards that describe the exposure and the file
// bytes written by the program's own FITS writer.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "fits/header_tables.h"
#include "image/frames.h"

namespace stellacq {

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

// The header cards, slots 1 onwards, END last (structure cards included;
// the writer puts its own BZERO and BSCALE in).
CardTable frame_cards(const Frame& frame, const FrameExtras& extras);

// Writes `frame` as a FITS file at `path` (replaced durably when `flush` is
// on). Empty text on success, else why it failed.
std::string write_frame_file(const std::string& path, const Frame& frame, const FrameExtras& extras,
                             bool flush);

// The file bytes of the frame in `bytes`, the same bytes write_frame_file
// writes. Empty text on success, else why it failed.
std::string frame_file_bytes(const Frame& frame, const FrameExtras& extras, std::vector<std::uint8_t>& bytes);

}  // namespace stellacq
