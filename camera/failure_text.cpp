#include "camera/failure_text.h"

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

std::string short_frame_text(long long announced_samples, long long expected_samples) {
  return " 画像サイズの応答が不正です（カメラの知らせた画素数 " + std::to_string(announced_samples) +
         "、この画像に必要な画素数 " + std::to_string(expected_samples) + "）。画像は受信していません";
}

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

std::string camera_failure_text(const CameraStatus& status) {
  switch (status.error) {
    case CameraError::Ok:
      return {};
    case CameraError::NotConnected:
      return kPleaseConnectMessage;
    case CameraError::BadFrameSize:
      return kBadFrameSizeMessage;
    case CameraError::ShortFrame:
      return short_frame_text(status.announced_samples, status.expected_samples);
    case CameraError::GarbledReply:
      // A garbled reply inside a transfer is a block count without its "K".
      if (status.link == LinkResult::Ok) return kNoBlockAckMessage;
      break;
    case CameraError::NoPort:
    case CameraError::NoReply:
    case CameraError::Cancelled:
      break;
  }
  return link_failure_text(status.error == CameraError::Cancelled ? LinkResult::Cancelled : status.link,
                           status.command);
}

bool camera_ok(const StatusLine& status_line, const CameraStatus& status) {
  if (status.ok()) return true;
  status_line.show(camera_failure_text(status));
  return false;
}

}  // namespace stellacq
