// Image download: reads the frame waiting in the control unit into the light
// or the dark frame buffer, block by block.
//
// The transfer: "X" (framed reply, not used), "U" (line reply: samples per
// row on the wire and rows; their product is the number of samples), then
// blocks of at most 30720 samples, each announced by a two-byte count and
// acknowledged by the unit with "K", and a closing count of 0 with its
// framed reply. A TX-11 head on a TU-22 unit sends rows twice as long as the
// frame; the second half of each row is read and dropped.
//
// Reads settings.head_model and settings.unit_model, the frame sizes in
// Program::frames; writes the frame, scan_max/scan_min, the frame's extremes,
// display_source and (through auto_level) the display levels, the link state
// and the status line. Yields only before and after the transfer.
#pragma once

#include "program/program.h"

namespace stellacq {

inline constexpr int kBlockSamples = 30720;  // 0x7800, the unit's largest block
inline constexpr const char* kDownloadingMessage = " ダウンロード中";
inline constexpr const char* kDownloadDoneMessage = " ダウンロード完了";
inline constexpr const char* kBadFrameSizeMessage =
    " 画像サイズが決まっていません（撮影の準備をやり直して下さい）";
inline constexpr const char* kNoBlockAckMessage =
    " カメラの応答が不正です（ブロックの確認「K」が来ません）。新規接続して下さい";

// Bytes the unit may send after a block count before its "K"; more than
// this and the transfer is abandoned.
inline constexpr int kMaxBytesBeforeAck = 4096;

// Both return false when the transfer did not complete (the reason is on the
// status line); the frame then holds what arrived, its extremes are kept.
[[nodiscard]] bool download_light(Program& p);
[[nodiscard]] bool download_dark(Program& p);

}  // namespace stellacq
