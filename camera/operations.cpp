#include "camera/operations.h"

#include "program/program.h"

namespace stellacq {

namespace {

// The command as the user would recognise it: without its line end.
std::string command_name(std::string name) {
  while (!name.empty() && (name.back() == '\r' || name.back() == '\n')) name.pop_back();
  return name;
}

std::string silent(const std::string& doing) {
  return " カメラが応答しません（" + doing + "）" + kSilentUnitHint;
}

}  // namespace

CameraPort camera_port(Program& p) { return {p.port, p.ports, p.clock}; }

std::string link_failure_text(LinkResult result, const std::string& command_text) {
  const std::string name = command_name(command_text);
  switch (result) {
    case LinkResult::Ok:
      return {};
    case LinkResult::NoPort:
      return kChoosePortMessage;
    case LinkResult::SendTimeout:
      return silent("「" + name + "」の送信中");
    case LinkResult::ReplyTimeout:
      return silent(name.empty() ? std::string("応答の受信中") : "「" + name + "」への応答待ち");
    case LinkResult::ReplyOverlong:
      return " カメラの応答が不正です（" + (name.empty() ? std::string() : "「" + name + "」への") +
             "応答が終わりません）" + kSilentUnitHint;
    case LinkResult::ByteTimeout:
      return silent("応答バイトの受信中");
    case LinkResult::CountTimeout:
      return silent("ブロック数の送信中");
    case LinkResult::SampleTimeout:
      return silent("画像データの受信中");
    case LinkResult::Cancelled:
      return kCancelledMessage;
  }
  return {};
}

bool link_ok(Program& p, LinkResult result) {
  if (result == LinkResult::Ok) return true;
  if (result != LinkResult::NoPort) p.link.unit_silent = true;
  set_status(p, link_failure_text(result, p.link.command_text));
  return false;
}

bool port_chosen(Program& p) { return link_ok(p, p.ports.set ? LinkResult::Ok : LinkResult::NoPort); }

bool camera_exchange(Program& p, std::string_view command, ReplyMode mode, std::int64_t limit_us) {
  CameraPort port = camera_port(p);
  return link_ok(p, exchange_command(port, p.link, command, mode, limit_us));
}

}  // namespace stellacq
