#include "telescope/telescope.h"

#include "core/numeric.h"
#include "program/program.h"
#include "telescope/mount_link.h"

namespace stellacq {

namespace {

const DirectionCommands kUp{"move up", "#:Mn#", "#:Qn#"};
const DirectionCommands kDown{"move down", "#:Ms#", "#:Qs#"};
const DirectionCommands kLeft{"move left", "#:Me#", "#:Qe#"};
const DirectionCommands kRight{"move right", "#:Mw#", "#:Qw#"};

const char* const kQueryRa = "#:GR#";
const char* const kQueryDec = "#:GD#";

std::string reason_text(LineError error, const std::string& detail) {
  switch (error) {
    case LineError::BadPortNumber:
      return "COM ポートが選ばれていません。";
    case LineError::BadSettings:
      return "通信設定を読めません。";
    case LineError::NoDevice:
      return "装置がありません。";
    case LineError::NoPermission:
      return "このユーザーには使う権限がありません。";
    case LineError::InUse:
      return "他のプログラムが使っています。";
    case LineError::NotOpen:
      return "ポートが開いていません。";
    case LineError::WriteFailed:
      return "書き込めません。";
    case LineError::None:
    case LineError::Other:
      break;
  }
  return detail.empty() ? "開けませんでした。" : "開けませんでした (" + detail + ")。";
}

std::string remedy_text(Program& p, LineError error) {
  const std::string variable = "STELLACQ_COM" + std::to_string(p.settings.com_port);
  switch (error) {
    case LineError::BadPortNumber:
      return "設定メニューの COM ポートで COM1〜COM3 を選んでください。";
    case LineError::NoDevice:
      return "ケーブルと USB シリアル変換器のつながりを確かめてください。変換器 (/dev/ttyUSB0 など) "
             "を使うときは、環境変数 " +
             variable + "=/dev/ttyUSB0 を付けてプログラムを起動してください。";
    case LineError::NoPermission:
      return "ユーザーを dialout グループに加え (sudo usermod -aG dialout "
             "ユーザー名)、ログインし直してください。";
    case LineError::InUse:
      return "そのプログラムを終えてから、もう一度開いてください。";
    default:
      return "ケーブルと装置を確かめてください。";
  }
}

void report_lost_line(Program& p) {
  p.ui.message_box(
      "望遠鏡のシリアルポート " + line_name(p) +
      " との接続が切れました。ケーブルと変換器を確かめて、もう一度「RS232C Open」を押してください。");
}

// The status line of a timed move: "move down 12( 30)".
std::string move_status(const DirectionCommands& c, int amount, std::int32_t factor) {
  return std::string(c.word) + decimal_text(amount) + "(" + decimal_text(factor) + ")";
}

// Sends the stop of a move that may have started; tells the user when it
// cannot go out. True when the stop was sent.
bool send_stop(Program& p, const DirectionCommands& c) {
  const LineError error = mount_send(p.serial, c.stop);
  if (error == LineError::None) return true;
  p.ui.message_box(std::string("望遠鏡に停止コマンド ") + c.stop + " を送れませんでした (" + line_name(p) +
                   ": " + reason_text(error, {}) +
                   ")。\n望遠鏡が動き続けているかもしれません。手元のコントローラで止めてください。");
  return false;
}

}  // namespace

const DirectionCommands& direction_commands(Direction direction) {
  switch (direction) {
    case Direction::Up:
      return kUp;
    case Direction::Down:
      return kDown;
    case Direction::Left:
      return kLeft;
    case Direction::Right:
      break;
  }
  return kRight;
}

std::string line_name(Program& p) {
  const std::string device = p.serial.device_name();
  const std::string com = "COM" + std::to_string(p.settings.com_port);
  return device.empty() ? com : com + " (" + device + ")";
}

LineError open_link(Program& p, std::string* detail) {
  if (p.serial.is_open()) return LineError::None;
  p.serial.set_port_number(p.settings.com_port);
  p.serial.set_settings(kLineSettingsText);
  return p.serial.open(detail);
}

void close_link(Program& p) {
  if (p.serial.is_open()) p.serial.close();
}

std::string open_failure_text(Program& p, LineError error, const std::string& detail) {
  p.serial.set_port_number(p.settings.com_port);
  return "望遠鏡のシリアルポート " + line_name(p) + " を開けません: " + reason_text(error, detail) + "\n" +
         remedy_text(p, error);
}

// ---- guiding ----

bool open_link_for_guiding(Program& p) {
  TelescopeState& t = p.telescope;
  if (p.serial.is_open()) {
    t.guiding_uses_line = true;
    t.guiding_opened_line = false;
    return true;
  }
  std::string detail;
  const LineError error = open_link(p, &detail);
  if (error != LineError::None) {
    set_status(p, " " + open_failure_text(p, error, detail));
    return false;
  }
  t.guiding_uses_line = true;
  t.guiding_opened_line = true;
  return true;
}

void close_link_after_guiding(Program& p) {
  TelescopeState& t = p.telescope;
  if (t.guiding_opened_line && !t.window_uses_line) close_link(p);
  t.guiding_uses_line = false;
  t.guiding_opened_line = false;
}

MoveEnd timed_move(Program& p, Direction direction) {
  const DirectionCommands& c = direction_commands(direction);
  const bool vertical = direction == Direction::Up || direction == Direction::Down;
  const std::int32_t factor = vertical ? p.settings.y_tracking_factor : p.settings.x_tracking_factor;
  const double repeat = vertical ? static_cast<double>(p.settings.y_move_repeat) : p.settings.x_move_repeat;
  const int amount = p.telescope.move_amount;

  const std::string status = move_status(c, amount, factor);
  set_status(p, status);
  p.ui.yield();

  const LineError start = mount_send(p.serial, c.start);
  if (start == LineError::NotOpen) {
    set_status(p, status + " 送信しませんでした: 望遠鏡のポートが開いていません");
    return MoveEnd::NotSent;
  }
  if (start != LineError::None) {
    // Part of the start may have gone out: stop all the same.
    if (!send_stop(p, c)) return MoveEnd::StopNotSent;
    set_status(p, status + " 送信できませんでした: " + reason_text(start, {}));
    return MoveEnd::NotSent;
  }
  run_move_counts(p.busy, move_counts(amount, factor, repeat));
  if (!send_stop(p, c)) {
    set_status(p, status + " 停止コマンドを送れませんでした");
    return MoveEnd::StopNotSent;
  }
  set_status(p, status + " stop");
  pause_short(p.busy);
  return MoveEnd::Done;
}

MoveEnd move_up(Program& p) { return timed_move(p, Direction::Up); }
MoveEnd move_down(Program& p) { return timed_move(p, Direction::Down); }
MoveEnd move_left(Program& p) { return timed_move(p, Direction::Left); }
MoveEnd move_right(Program& p) { return timed_move(p, Direction::Right); }

// ---- telescope window ----

void telescope_window_load(Program& p) {
  TelescopeState& t = p.telescope;
  t.ra_text = "00:00:00";
  t.dec_text = "+00d00'";
  t.polling = false;
  t.mount_silent = false;
}

void telescope_window_open(Program& p) {
  TelescopeState& t = p.telescope;
  std::string detail;
  const LineError error = open_link(p, &detail);
  if (error != LineError::None) {
    p.ui.message_box(open_failure_text(p, error, detail));
    return;
  }
  t.window_uses_line = true;
  t.mount_silent = false;
  t.polling = true;
}

namespace {

// The window gives up its line: polling stops.
void drop_line(Program& p) {
  TelescopeState& t = p.telescope;
  t.polling = false;
  t.window_uses_line = false;
  if (!t.guiding_uses_line) close_link(p);
}

// The window loses its line: polling stops and the user is told.
void lose_line(Program& p) {
  drop_line(p);
  report_lost_line(p);
}

// One query for a field. False when the tick should go no further.
bool poll_field(Program& p, const char* command, std::string& field) {
  TelescopeState& t = p.telescope;
  const Reply reply = mount_query(p.serial, p.busy, command);
  if (reply.end == ReplyEnd::NotSent || !p.serial.is_open()) {
    lose_line(p);
    return false;
  }
  field = reply.text;
  if (reply.end == ReplyEnd::NoReply) {
    t.mount_silent = true;
    t.ra_text.clear();
    t.dec_text.clear();
    set_status(p, " 望遠鏡が応答しません (" + line_name(p) + ")。電源とケーブルを確かめてください");
    return false;
  }
  return true;
}

}  // namespace

void telescope_window_tick(Program& p) {
  TelescopeState& t = p.telescope;
  if (!t.polling || t.in_tick) return;
  t.in_tick = true;
  p.ui.yield();
  // "Close" or a lost line during the yield ends the polling.
  if (t.polling && t.window_uses_line) {
    if (!p.serial.is_open()) {
      lose_line(p);
    } else if (t.mount_silent) {
      // Anything that came back since the last probe means the mount
      // answers again; the next tick polls in full.
      if (!p.serial.take_received().empty()) {
        t.mount_silent = false;
        set_status(p, " 望遠鏡が応答しました (" + line_name(p) + ")");
      } else {
        p.serial.discard_input();
        if (mount_send(p.serial, kQueryRa) != LineError::None) lose_line(p);
      }
    } else if (poll_field(p, kQueryRa, t.ra_text)) {
      poll_field(p, kQueryDec, t.dec_text);
    }
  }
  t.in_tick = false;
}

void telescope_window_nudge(Program& p, Direction direction) {
  TelescopeState& t = p.telescope;
  if (!t.window_uses_line || !p.serial.is_open()) {
    p.ui.message_box(
        "望遠鏡のポートが開いていないため、移動コマンドを送りませんでした。先に「RS232C "
        "Open」を押してください。");
    return;
  }
  const DirectionCommands& c = direction_commands(direction);
  const bool was_polling = t.polling;
  t.polling = false;
  const LineError start = mount_send(p.serial, c.start);
  if (start == LineError::None)
    for (int i = 0; i < kNudgeTicks; ++i) pause_tick(p.busy);
  const bool stopped = send_stop(p, c);
  t.polling = was_polling;
  if (!stopped) {
    drop_line(p);  // the user has been told the mount may still be moving
  } else if (start != LineError::None || !p.serial.is_open()) {
    lose_line(p);
  }
}

void telescope_window_close(Program& p) {
  TelescopeState& t = p.telescope;
  t.polling = false;
  if (t.window_uses_line) {
    t.window_uses_line = false;
    if (t.guiding_uses_line) {
      t.guiding_opened_line = true;  // the step closes it when it ends
    } else {
      close_link(p);
    }
  }
}

}  // namespace stellacq
