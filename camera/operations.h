// The camera link as the menu commands use it: the primitives run on the
// program's port, and a failure is told on the status line.
//
// A failed handshake marks the unit silent, so that the periodic
// temperature query leaves it alone until the next connection command; the
// status text names what was being done and ends with the hint to check the
// cable and the power and to connect again.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "camera/link.h"

namespace stellacq {

class Program;

inline constexpr const char* kChoosePortMessage =
    " パラレルポートが選ばれていません。設定メニューでパラレルポートを選んで下さい";
inline constexpr const char* kCancelledMessage = " カメラとのやりとりを中止しました";
inline constexpr const char* kSilentUnitHint = "。ケーブルと電源を確かめて新規接続して下さい";

// The program's port, its register addresses and its clock.
CameraPort camera_port(Program& p);

// The status text of a failed primitive; `command_text` is the command the
// exchange was about (a trailing CR is ignored; empty for the greeting).
std::string link_failure_text(LinkResult result, const std::string& command_text);

// True for LinkResult::Ok. Otherwise tells the user (link_failure_text),
// marks the unit silent unless no port was chosen, and returns false.
bool link_ok(Program& p, LinkResult result);

// True when a parallel port is chosen; otherwise says so on the status line.
bool port_chosen(Program& p);

// One exchange of the camera dialogue on the program's port, its failure
// told (see exchange_command in camera/link.h).
[[nodiscard]] bool camera_exchange(Program& p, std::string_view command, ReplyMode mode = ReplyMode::Framed,
                                   std::int64_t limit_us = kHandshakeLimitUs);

}  // namespace stellacq
