// A frame taken by a network front-end (the INDI driver, the Alpaca server)
// as a FITS file: the header cards that describe the exposure and the file
// bytes written by the program's own FITS writer.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "camera/frame_finishing.h"
#include "camera/frame_request.h"
#include "fits/header_tables.h"
#include "image/frames.h"

namespace stellacq {

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

// The writer of a network front-end's frames: the file replaced durably,
// the bytes as write_frame_file writes them.
FitsWriting frame_fits_writing();

}  // namespace stellacq
