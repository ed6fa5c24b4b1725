// The image transfer primitive: reads the frame waiting in the control unit
// into a frame buffer, block by block.
//
// The transfer: "X" (framed reply, not used), "U" (line reply: samples per
// row on the wire and rows; their product is the number of samples), then
// blocks of at most 30720 samples, each announced by a two-byte count and
// acknowledged by the unit with "K", and a closing count of 0 with its
// framed reply. A size reply that announces fewer samples than the frame
// needs (a garbled line counts as none) ends the transfer at once with the
// closing count: no sample is read, and the frame keeps what it held. A
// TX-11 head on a TU-22 unit sends rows twice as long as the
// frame; the second half of each row is read and dropped.
//
// Touches only the port, the link state and the target buffer; the caller
// turns the result into status texts and the frame's extremes.
#pragma once

#include <cstdint>
#include <limits>

#include "camera/geometry.h"
#include "camera/link.h"
#include "config/settings.h"
#include "core/frame.h"

namespace stellacq {

inline constexpr int kBlockSamples = 30720;  // 0x7800, the unit's largest block

// Bytes the unit may send after a block count before its "K"; more than
// this and the transfer is abandoned.
inline constexpr int kMaxBytesBeforeAck = 4096;

enum class TransferEnd {
  Complete,
  BadFrameSize,  // the target size is outside the buffer; nothing was sent
  LinkFailed,    // a primitive failed: see TransferResult::link
  NoBlockAck,    // the unit never acknowledged a block count with "K"
  ShortFrame,    // the size reply announced fewer samples than the frame needs
};

struct TransferResult {
  TransferEnd end = TransferEnd::Complete;
  LinkResult link = LinkResult::Ok;
  // The samples the size reply announced and the samples the frame needs
  // (width x height, twice the width per row for doubled rows); set once
  // the size reply has come.
  long long announced_samples = 0;
  long long expected_samples = 0;
  // Set once samples began to stream (also when the transfer failed later):
  // the extremes of the samples stored in the frame.
  bool streamed = false;
  std::int32_t scan_max = -1;
  std::int32_t scan_min = std::numeric_limits<std::int32_t>::max();
};

// Reads a frame of `shape` into the counts of `frame`, leaving its own size
// and extremes to the caller; `doubled_rows` for a TX-11 head on a TU-22
// unit. Calls port.on_block after each block with the samples of the frame
// read so far and asks port.cancelled every kSamplesPerCancelCheck samples.
// When it does not complete, the counts hold what arrived.
TransferResult transfer_frame(CameraPort& port, CameraLinkState& link, Frame& frame, FrameShape shape,
                              bool doubled_rows);

}  // namespace stellacq
