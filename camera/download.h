// Image download: brings the frame waiting in the control unit into the
// light or the dark frame buffer (the transfer itself is camera/transfer.h).
//
// Reads settings.head_model and settings.unit_model, the frame sizes in
// Program::frames; writes the frame, scan_max/scan_min, the frame's extremes,
// display_source and (through auto_level) the display levels, the link state
// and the status line. Yields only before and after the transfer; during it,
// the share of the frame read is told after each block (exchange_progress),
// so that the window can repaint without running any handler.
#pragma once

#include <string>

namespace stellacq {

class Program;

inline constexpr const char* kDownloadingMessage = " ダウンロード中";
inline constexpr const char* kDownloadDoneMessage = " ダウンロード完了";
inline constexpr const char* kBadFrameSizeMessage =
    " 画像サイズが決まっていません（撮影の準備をやり直して下さい）";
inline constexpr const char* kNoBlockAckMessage =
    " カメラの応答が不正です（ブロックの確認「K」が来ません）。新規接続して下さい";

// The status text of a size reply that announced fewer samples than the
// frame needs: the frame on screen is still the previous one.
std::string short_frame_text(long long announced_samples, long long expected_samples);

// Both return false when the transfer did not complete (the reason is on the
// status line); the frame then holds what arrived, its extremes are kept.
[[nodiscard]] bool download_light(Program& p);
[[nodiscard]] bool download_dark(Program& p);

}  // namespace stellacq
