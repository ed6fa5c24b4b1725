#include "telescope/mount.h"

#include <algorithm>

#include "core/clock.h"
#include "core/wire_log.h"

namespace stellacq {

namespace {

void log_mount(WireDirection direction, std::string_view bytes) {
  wire_log(WireDevice::Mount, direction, bytes);
}

}  // namespace

LineError Mount::open(int com, std::string* detail) {
  if (line_.is_open()) return LineError::None;
  line_.set_port_number(com);
  line_.set_settings(kLineSettingsText);
  std::string why;
  const LineError error = line_.open(detail ? detail : &why);
  if (wire_log_on()) {
    const std::string name =
        "COM" + std::to_string(com) + " (" + line_.device_name() + ") " + kLineSettingsText;
    if (error == LineError::None)
      log_mount(WireDirection::Event, "open " + name + "; the four stops follow");
    else
      log_mount(WireDirection::Event,
                "open " + name + " failed (" + line_error_word(error) + "): " + (detail ? *detail : why));
  }
  if (error != LineError::None) return error;
  owed_.clear();
  const LineError stopped = stop_all();
  if (stopped != LineError::None) {
    close();
  } else {
    stop_unsent_ = false;
  }
  return stopped;
}

void Mount::close() {
  if (line_.is_open()) {
    log_mount(WireDirection::Event, "close");
    line_.close();
  }
  owed_.clear();
}

std::string Mount::line_name(int com) {
  line_.set_port_number(com);
  const std::string device = line_.device_name();
  const std::string name = "COM" + std::to_string(com);
  return device.empty() ? name : name + " (" + device + ")";
}

LineError Mount::send(const std::string& command) { return mount_send(line_, command); }

void Mount::forget_stale_replies() {
  const std::int64_t now = clock_.monotonic_us();
  while (!owed_.empty() && (now - std::max(owed_.front(), last_received_us_) >= kOwedReplyQuietUs ||
                            now - owed_.front() >= kOwedReplyLateUs))
    owed_.pop_front();
  while (owed_.size() > kMaxOwedReplies) owed_.pop_front();
}

void Mount::absorb(const std::string& received) {
  if (received.empty()) return;
  log_mount(WireDirection::Received, received);
  last_received_us_ = clock_.monotonic_us();
  for (const char c : received)
    if (c == '#' && !owed_.empty()) owed_.pop_front();
}

Reply Mount::query(const std::string& command) {
  Reply reply;
  if (!line_.is_open()) {
    reply.end = ReplyEnd::NotSent;
    reply.error = LineError::NotOpen;
    return reply;
  }
  // What came so far belongs to no query of ours, but its "#" ends owed
  // replies.
  forget_stale_replies();
  if (!owed_.empty()) absorb(line_.take_received());
  line_.discard_input();
  reply.error = send(command);
  if (reply.error != LineError::None) {
    reply.end = ReplyEnd::NotSent;
    return reply;
  }
  const std::int64_t sent_at = clock_.monotonic_us();
  owed_.push_back(sent_at);
  // Everything that came, for the wire log: an earlier reply's tail, the
  // reply and what followed it.
  std::string wire;
  const auto logged = [&](Reply& r) -> Reply& {
    if (!wire.empty()) log_mount(WireDirection::Received, wire);
    if (r.end == ReplyEnd::Incomplete)
      log_mount(WireDirection::Event, "reply incomplete (no \"#\" in time)");
    else if (r.end == ReplyEnd::NoReply)
      log_mount(WireDirection::Event, "no reply");
    return r;
  };
  for (int poll = 0; poll < kQueryPolls; ++poll) {
    const std::string piece = line_.take_received();
    if (!piece.empty()) last_received_us_ = clock_.monotonic_us();
    if (wire_log_on()) wire += piece;
    for (const char c : piece) {
      if (owed_.size() > 1) {  // the tail of an earlier reply
        if (c == '#') owed_.pop_front();
        continue;
      }
      reply.text += c;
      if (c == '#') {
        // Anything after the "#" belongs to no reply of ours.
        owed_.clear();
        reply.end = ReplyEnd::Complete;
        return logged(reply);
      }
      if (reply.text.size() >= kMaxReplyLength) {
        reply.end = ReplyEnd::Incomplete;
        return logged(reply);
      }
    }
    if (!line_.is_open()) break;  // the device vanished
    if (clock_.monotonic_us() - sent_at >= kReplyLimitUs) break;
    forget_stale_replies();
    pause_tick(busy_);
  }
  reply.end = reply.text.empty() ? ReplyEnd::NoReply : ReplyEnd::Incomplete;
  return logged(reply);
}

LineError Mount::probe(const std::string& command) {
  forget_stale_replies();
  if (!owed_.empty()) absorb(line_.take_received());
  line_.discard_input();
  const LineError error = send(command);
  if (error == LineError::None) owed_.push_back(clock_.monotonic_us());
  return error;
}

bool Mount::heard() {
  const std::string received = line_.take_received();
  absorb(received);  // logs what came
  return received.find('#') != std::string::npos;
}

bool Mount::awaiting_reply() {
  forget_stale_replies();
  return !owed_.empty();
}

MoveResult Mount::timed_move(Direction direction, std::int32_t amount, std::int32_t factor, double repeat,
                             const MoveProgress& progress) {
  const DirectionCommands& c = direction_commands(direction);
  MoveResult result;
  result.counts = move_counts(amount, factor, repeat);
  // The counts time the move from its start command, so what was sent
  // before it (the four stops of a fresh open: 29 ms at 9600 baud) must
  // have left first, or the mount would get the start that much later and
  // the stop on time. A line that cannot drain sends nothing of the start.
  result.start_error = line_.drain();
  if (result.start_error != LineError::None) {
    if (wire_log_on())
      log_mount(WireDirection::Event, std::string("drain failed (") + line_error_word(result.start_error) +
                                          "): the move is not started");
    return result;
  }
  log_mount(WireDirection::Event, "drained: what was sent before has left");
  result.start_error = send(c.start);
  if (result.start_error == LineError::NotOpen) return result;
  moving_ = direction;
  if (result.start_error == LineError::None) {
    const std::int64_t total = result.counts.total();
    std::int64_t done = 0;
    for (std::int64_t round = 0; round < result.counts.rounds && moving_; ++round) {
      busy_.count_while(result.counts.per_round, [&](std::int64_t counted) {
        if (progress) progress(done + counted, total);
      });
      done += result.counts.per_round;
    }
  }
  // Part of a failed start may have gone out: stop all the same. A stop
  // sent meanwhile (stop_moving) has ended the move already.
  if (moving_) result.stop_error = send(c.stop);
  moving_.reset();
  if (result.stop_error != LineError::None) {
    stop_not_sent();
    result.end = MoveEnd::StopNotSent;
    return result;
  }
  if (result.start_error != LineError::None) return result;
  pause_short(busy_);
  result.end = MoveEnd::Done;
  return result;
}

MoveResult Mount::nudge(Direction direction) {
  const DirectionCommands& c = direction_commands(direction);
  MoveResult result;
  result.start_error = send(c.start);
  if (result.start_error == LineError::None)
    for (int i = 0; i < kNudgeTicks; ++i) pause_tick(busy_);
  result.stop_error = send(c.stop);
  if (result.stop_error != LineError::None) {
    stop_not_sent();
    result.end = MoveEnd::StopNotSent;
  } else if (result.start_error == LineError::None) {
    result.end = MoveEnd::Done;
  }
  return result;
}

void Mount::stop_not_sent() {
  // A line that refused a stop is not to be trusted with the next command;
  // closed, it gets the four stops when it is opened again.
  stop_unsent_ = true;
  close();
}

LineError Mount::stop_all() {
  LineError first = LineError::None;
  for (const Direction d : {Direction::Up, Direction::Down, Direction::Left, Direction::Right}) {
    const LineError error = send(direction_commands(d).stop);
    if (first == LineError::None) first = error;
  }
  return first;
}

LineError Mount::stop_moving() {
  if (!moving_) return LineError::None;
  const LineError error = send(direction_commands(*moving_).stop);
  moving_.reset();
  return error;
}

}  // namespace stellacq
