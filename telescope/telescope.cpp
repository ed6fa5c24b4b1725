#include "telescope/telescope.h"

#include "core/numeric.h"
#include "telescope/mount_link.h"

namespace stellacq {

namespace {

const char* const kQueryRa = "#:GR#";
// What the window's fields show after the line was lost during a series.
const char* const kLostField = "接続切れ";

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

std::string remedy_text(int com_port, LineError error) {
  const std::string variable = "STELLACQ_COM" + std::to_string(com_port);
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

// The line, the reason and what to do about it; `separator` stands between
// the reason and the remedy (a line break in a box, a blank on the one-line
// status line).
std::string open_failure_text(Mount& mount, int com_port, LineError error, const std::string& detail,
                              const char* separator) {
  return "望遠鏡のシリアルポート " + mount.line_name(com_port) +
         " を開けません: " + reason_text(error, detail) + separator + remedy_text(com_port, error);
}

// The status line of a timed move: "move down 12( 30)".
std::string move_status(const DirectionCommands& c, int amount, std::int32_t factor) {
  return std::string(c.word) + decimal_text(amount) + "(" + decimal_text(factor) + ")";
}

// The stop of a move could not go out; `separator` stands before the
// warning (a line break in a box, nothing on the status line).
std::string stop_not_sent_text(const std::string& line, const DirectionCommands& c, LineError error,
                               const char* separator) {
  std::string reason = reason_text(error, {});
  const std::string full_stop = "。";
  if (reason.ends_with(full_stop)) reason.resize(reason.size() - full_stop.size());
  return std::string("望遠鏡に停止コマンド ") + c.stop + " を送れませんでした (" + line + ": " + reason +
         ")。" + separator + "望遠鏡が動き続けているかもしれません。手元のコントローラで止めてください。";
}

// A reply as the window shows it: one line of 8-bit text. The controller's
// degree mark (0xDF) is a degree sign; other bytes above 127 are Latin-1;
// line breaks and other control characters become blanks.
std::string shown_reply(const std::string& reply) {
  std::string shown;
  for (const char ch : reply) {
    const auto byte = static_cast<unsigned char>(ch);
    if (byte == 0xDF) {
      shown += "°";
    } else if (byte < 0x20 || byte == 0x7F) {
      shown += ' ';
    } else if (byte < 0x80) {
      shown += ch;
    } else {
      shown += static_cast<char>(0xC0 | byte >> 6);
      shown += static_cast<char>(0x80 | (byte & 0x3F));
    }
  }
  return shown;
}

}  // namespace

// ---- guiding ----

std::string TelescopePanel::line_name() { return mount_.line_name(settings_.com_port); }

bool TelescopePanel::open_link_for_guiding(std::string* failure) {
  TelescopeState& t = state_;
  if (mount_.is_open()) {
    t.guiding_uses_line = true;
    t.guiding_opened_line = false;
    return true;
  }
  const int com_port = settings_.com_port;
  std::string detail;
  const LineError error = mount_.open(com_port, &detail);
  if (error != LineError::None) {
    const std::string text = " " + open_failure_text(mount_, com_port, error, detail, " ");
    status_.show(text);
    if (failure) *failure = text;
    return false;
  }
  t.guiding_uses_line = true;
  t.guiding_opened_line = true;
  return true;
}

void TelescopePanel::close_link_after_guiding() {
  TelescopeState& t = state_;
  if (t.guiding_opened_line && !t.window_uses_line) mount_.close();
  t.guiding_uses_line = false;
  t.guiding_opened_line = false;
}

MoveEnd TelescopePanel::timed_move(Direction direction, int amount, StopWarning warning) {
  const Settings& settings = settings_;
  const StatusLine& status_line = status_;
  const DirectionCommands& c = direction_commands(direction);
  const bool vertical = direction == Direction::Up || direction == Direction::Down;
  const std::int32_t factor = vertical ? settings.y_tracking_factor : settings.x_tracking_factor;
  const double repeat = vertical ? static_cast<double>(settings.y_move_repeat) : settings.x_move_repeat;
  Interaction& ui = status_line.ui;

  const std::string status = move_status(c, amount, factor);
  status_line.show(status);
  ui.yield();

  // The windows stay painted during the counts; clicks and ticks wait
  // until the stop has gone out.
  const MoveResult result = mount_.timed_move(
      direction, amount, factor, repeat, [&ui](std::int64_t done_us, std::int64_t total_us) {
        ui.exchange_progress({ExchangeKind::Move, done_us / 1000, total_us / 1000});
      });
  ui.exchange_ended();
  switch (result.end) {
    case MoveEnd::Done:
      status_line.show(status + " stop");
      break;
    case MoveEnd::NotSent:
      if (result.start_error == LineError::NotOpen)
        status_line.show(status + " 送信しませんでした: 望遠鏡のポートが開いていません");
      else
        status_line.show(status + " 送信できませんでした: " + reason_text(result.start_error, {}));
      break;
    case MoveEnd::StopNotSent: {
      const std::string line = line_name();
      status_line.show(status + " " + stop_not_sent_text(line, c, result.stop_error, ""));
      if (warning == StopWarning::Box) ui.message_box(stop_not_sent_text(line, c, result.stop_error, "\n"));
      break;
    }
  }
  return result.end;
}

// ---- telescope window ----

void TelescopePanel::telescope_window_load() {
  TelescopeState& t = state_;
  t.ra_text = "00:00:00";
  t.dec_text = "+00d00'";
  t.polling = false;
  t.mount_silent = false;
}

void TelescopePanel::telescope_window_open() {
  TelescopeState& t = state_;
  std::string detail;
  const LineError error = mount_.open(settings_.com_port, &detail);
  if (error != LineError::None) {
    ui_.message_box(open_failure_text(mount_, settings_.com_port, error, detail, "\n"));
    return;
  }
  t.window_uses_line = true;
  t.mount_silent = false;
  t.polling = true;
}

// The window gives up its line: polling stops.
void TelescopePanel::drop_line() {
  TelescopeState& t = state_;
  t.polling = false;
  t.window_uses_line = false;
  if (!t.guiding_uses_line) mount_.close();
}

// The window loses its line: polling stops and the user is told. A box
// would halt a running series or program until someone answers it, so
// while one runs the window's fields and the status line tell it instead.
void TelescopePanel::lose_line() {
  drop_line();
  const std::string text = "望遠鏡のシリアルポート " + line_name() +
                           " との接続が切れました。ケーブルと変換器を確かめて、もう一度「RS232C "
                           "Open」を押してください。";
  if (box_would_halt()) {
    state_.ra_text = kLostField;
    state_.dec_text = kLostField;
    status_.show(" " + text);
    return;
  }
  ui_.message_box(text);
}

// One query for a field. False when the tick should go no further.
bool TelescopePanel::poll_field(const std::string& command, std::string& field) {
  TelescopeState& t = state_;
  const Reply reply = mount_.query(command);
  if (reply.end == ReplyEnd::NotSent || !line_.is_open()) {
    lose_line();
    return false;
  }
  if (reply.whole()) {
    field = shown_reply(reply.text);
    return true;
  }
  // Only a whole reply is a position: what came without its "#" is not shown.
  t.mount_silent = true;
  t.ra_text.clear();
  t.dec_text.clear();
  if (reply.end == ReplyEnd::NoReply)
    status_.show(" 望遠鏡が応答しません (" + line_name() + ")。電源とケーブルを確かめてください");
  else
    status_.show(" 望遠鏡の応答が途中で切れました (" + line_name() +
                 ")。通信設定とケーブルを確かめてください");
  return false;
}

// Both fields, R.A. first; a field that gets no whole reply ends the tick.
void TelescopePanel::poll_fields() {
  TelescopeState& t = state_;
  if (poll_field("#:GR#", t.ra_text)) poll_field("#:GD#", t.dec_text);
}

void TelescopePanel::telescope_window_tick() {
  TelescopeState& t = state_;
  // A tick that falls into a guiding move waits for the next one: nothing
  // else may use the line between a start and its stop.
  if (!t.polling || t.in_tick || mount_.moving()) return;
  t.in_tick = true;
  ui_.yield();
  // "Close" or a lost line during the yield ends the polling.
  if (t.polling && t.window_uses_line && !mount_.moving()) {
    if (!line_.is_open()) {
      lose_line();
    } else if (t.mount_silent) {
      // A whole reply since the last probe means the mount answers again:
      // the fields are polled at once. A probe goes out only when no
      // earlier query still waits for its reply; otherwise that reply
      // would be taken for the probe's, and every later one for the query
      // before it.
      if (mount_.heard()) {
        t.mount_silent = false;
        status_.show(" 望遠鏡が応答しました (" + line_name() + ")");
        poll_fields();
      } else if (!mount_.awaiting_reply() && mount_.probe(kQueryRa) != LineError::None) {
        lose_line();
      }
    } else {
      poll_fields();
    }
  }
  t.in_tick = false;
}

void TelescopePanel::telescope_window_nudge(Direction direction) {
  TelescopeState& t = state_;
  if (!t.window_uses_line || !line_.is_open()) {
    ui_.message_box(
        "望遠鏡のポートが開いていないため、移動コマンドを送りませんでした。先に「RS232C "
        "Open」を押してください。");
    return;
  }
  const bool was_polling = t.polling;
  t.polling = false;
  const MoveResult result = mount_.nudge(direction);
  t.polling = was_polling;
  if (result.end == MoveEnd::StopNotSent) {
    const DirectionCommands& c = direction_commands(direction);
    if (box_would_halt()) {
      status_.show(" " + stop_not_sent_text(line_name(), c, result.stop_error, ""));
    } else {
      ui_.message_box(stop_not_sent_text(line_name(), c, result.stop_error, "\n"));
    }
    drop_line();
  } else if (result.start_error != LineError::None || !line_.is_open()) {
    lose_line();
  }
}

void TelescopePanel::telescope_window_close() {
  TelescopeState& t = state_;
  t.polling = false;
  if (t.window_uses_line) {
    t.window_uses_line = false;
    if (t.guiding_uses_line) {
      t.guiding_opened_line = true;  // the step closes it when it ends
    } else {
      mount_.close();
    }
  }
}

}  // namespace stellacq
