// The status-line texts of the camera's commands: connection and cooling,
// the download, and a failed exchange with the unit.
#pragma once

namespace stellacq {

// Connection and cooling.
inline constexpr const char* kAssumedConnectedMessage = " ＴＸ－１１接続済みとしました";
inline constexpr const char* kPleaseConnectMessage = " ＴＸ－１１の接続をして下さい";
inline constexpr const char* kCoolingStartedMessage = " 冷却開始しました  設定温度にします";
inline constexpr const char* kCoolingStoppedMessage = " 冷却停止しました";
inline constexpr const char* kNoSetTemperature = " --.-";

// The download of a frame.
inline constexpr const char* kDownloadingMessage = " ダウンロード中";
inline constexpr const char* kDownloadDoneMessage = " ダウンロード完了";
inline constexpr const char* kBadFrameSizeMessage =
    " 画像サイズが決まっていません（撮影の準備をやり直して下さい）";
inline constexpr const char* kNoBlockAckMessage =
    " カメラの応答が不正です（ブロックの確認「K」が来ません）。新規接続して下さい";
inline constexpr const char* kShootingAbortedMessage = " 撮影を中止しました";

// A failed exchange with the unit.
inline constexpr const char* kChoosePortMessage =
    " パラレルポートが選ばれていません。設定メニューでパラレルポートを選んで下さい";
inline constexpr const char* kCancelledMessage = " カメラとのやりとりを中止しました";
inline constexpr const char* kSilentUnitHint = "。ケーブルと電源を確かめて新規接続して下さい";

}  // namespace stellacq
