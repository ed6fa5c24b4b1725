#include "telescope/mount_link.h"

#include <algorithm>
#include <cmath>

#include "core/clock.h"
#include "core/interaction.h"

namespace stellacq {

void pause_tick(BusyCount& busy) { busy.count(kPauseTickCounts); }
void pause_short(BusyCount& busy) { busy.count(kPauseShortCounts); }

WaitEnd wait_next_second(Clock& clock, Interaction& ui, const StopTest& stopped) {
  return wait_second_change(clock, ui, stopped);
}

LineError mount_send(SerialLine& line, const std::string& command) {
  if (!line.is_open()) return LineError::NotOpen;
  return line.send(command + "\r\n");
}

Reply mount_query(SerialLine& line, BusyCount& busy, const std::string& command, int polls) {
  Reply reply;
  if (!line.is_open()) {
    reply.end = ReplyEnd::NotSent;
    reply.error = LineError::NotOpen;
    return reply;
  }
  line.discard_input();
  reply.error = mount_send(line, command);
  if (reply.error != LineError::None) {
    reply.end = ReplyEnd::NotSent;
    return reply;
  }
  int quiet = 0;
  for (int i = 0; i < polls; ++i) {
    const std::string piece = line.take_received();
    if (piece.empty()) {
      if (!reply.text.empty() && ++quiet >= kReplyGapPolls) break;
    } else {
      quiet = 0;
      reply.text += piece;
      const std::size_t hash = reply.text.find('#');
      if (hash != std::string::npos) {
        // Anything after the "#" belongs to no reply of ours.
        reply.text.resize(hash + 1);
        reply.end = ReplyEnd::Complete;
        return reply;
      }
      if (reply.text.size() >= kMaxReplyLength) {
        reply.text.resize(kMaxReplyLength);
        break;
      }
    }
    if (!line.is_open()) break;  // the device vanished
    pause_tick(busy);
  }
  reply.end = reply.text.empty() ? ReplyEnd::NoReply : ReplyEnd::Incomplete;
  return reply;
}

std::int64_t MoveCounts::total() const { return rounds * per_round; }

MoveCounts move_counts(std::int32_t amount, std::int32_t factor, double repeat) {
  MoveCounts c;
  // A count "from 1 to repeat" runs the whole rounds up to the repeat count.
  c.rounds = repeat >= 1 ? static_cast<std::int64_t>(std::min(std::floor(repeat), 1e9)) : 0;
  const std::int64_t product = static_cast<std::int64_t>(amount) * static_cast<std::int64_t>(factor);
  c.per_round = std::max<std::int64_t>(0, product + 1);
  if (c.per_round > 0 && c.rounds > kMaxMoveCounts / c.per_round) {
    c.capped = true;
    if (c.per_round > kMaxMoveCounts) {
      c.rounds = 1;
      c.per_round = kMaxMoveCounts;
    } else {
      c.rounds = kMaxMoveCounts / c.per_round;
    }
  }
  return c;
}

void run_move_counts(BusyCount& busy, const MoveCounts& counts) {
  for (std::int64_t i = 0; i < counts.rounds; ++i) busy.count(counts.per_round);
}

}  // namespace stellacq
