// Mount controller link: the LX200 framing, the command texts of the four
// directions, the short pauses and the timing of a guiding move. These
// primitives take only the line and the busy count they use and return what
// happened; the Mount (telescope/mount.h) builds the operations on them.
#pragma once

#include <cstdint>
#include <string>

#include "core/busy_count.h"
#include "core/wait.h"
#include "telescope/direction.h"
#include "telescope/serial_line.h"

namespace stellacq {

class Clock;
class Interaction;

// Applied before every open.
inline constexpr const char* kLineSettingsText = "9600,N,8,1";

// Busy counts (one count is one microsecond).
inline constexpr std::int64_t kPauseTickCounts = 100;    // pause_tick
inline constexpr std::int64_t kPauseShortCounts = 1000;  // pause_short, closes every timed move
inline constexpr int kNudgeTicks = 11;                   // a telescope-window nudge: 11 pause_ticks

// Reply collection: until the closing "#", at most this long from the send,
// measured on the clock (a USB-serial adapter hands characters over in
// chunks up to 16 ms apart, and a busy controller pauses longer) ...
inline constexpr std::int64_t kReplyLimitUs = 1'000'000;
// ... with a pause_tick between two reads; on a clock that stands still the
// wait ends after this many reads (at least the limit in busy counts) ...
inline constexpr int kQueryPolls = 10001;
// ... or once the reply has grown to this length without its "#" (a garbled
// stream).
inline constexpr std::size_t kMaxReplyLength = 32;

// The controller answers its queries in order, one reply ended by "#" each.
// A reply given up (late or incomplete) is still owed: when its "#" comes,
// it ends that reply, not the next one's. An owed reply is taken as lost
// once the line has been silent this long after its query (the controller
// dropped it: switched off, or the query went out while it was busy) ...
inline constexpr std::int64_t kOwedReplyQuietUs = 1'500'000;
// ... or once its query is this old (a controller that dropped queries
// while it answers others), and at most this many are remembered.
inline constexpr std::int64_t kOwedReplyLateUs = 3'000'000;
inline constexpr std::size_t kMaxOwedReplies = 16;

// The longest timed move: 60 seconds of busy counts. A larger product of
// amount, factor and repeat count is cut to this.
inline constexpr std::int64_t kMaxMoveCounts = 60'000'000;

void pause_tick(BusyCount& busy);
void pause_short(BusyCount& busy);

// Until the clock's second changes (more than 0, at most 1 second), letting
// the window run meanwhile.
WaitEnd wait_next_second(Clock& clock, Interaction& ui, const StopTest& stopped = {});

// "move up", "#:Mn#", "#:Qn#" and so on: Up is north, Down south, Left
// east and Right west.
struct DirectionCommands {
  const char* word;
  const char* start;
  const char* stop;
};
const DirectionCommands& direction_commands(Direction direction);

// Sends `command` followed by CR LF. Nothing is sent on a closed line
// (LineError::NotOpen). The wire log gets the bytes, or why they did not go.
LineError mount_send(SerialLine& line, const std::string& command);

// "not open", "write failed": a line error in the wire log's words.
const char* line_error_word(LineError error);

enum class ReplyEnd {
  Complete,    // ended by its "#"
  Incomplete,  // characters came, but no "#" within the limit, or the text grew too long
  NoReply,     // nothing came within the limit
  NotSent,     // the command could not be sent (see `error`)
};

struct Reply {
  ReplyEnd end = ReplyEnd::NoReply;
  std::string text;  // as received (8-bit text), with its "#"; cut at kMaxReplyLength
  LineError error = LineError::None;
  // Only a whole reply is a position to show.
  bool whole() const { return end == ReplyEnd::Complete; }
};

// Busy counts of one timed move: `repeat` rounds (a fractional count runs
// its whole rounds) of amount x factor + 1 counts each, the product taken in
// 64 bits; a negative product makes rounds of no counts. The whole is cut at
// kMaxMoveCounts.
struct MoveCounts {
  std::int64_t rounds = 0;
  std::int64_t per_round = 0;
  bool capped = false;  // rounds were dropped (or the one round cut) to stay within the limit
  std::int64_t total() const;
};
MoveCounts move_counts(std::int32_t amount, std::int32_t factor, double repeat);

}  // namespace stellacq
