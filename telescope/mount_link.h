// Mount controller link: the LX200 framing, the query with its reply
// collection, the short pauses and the timing of a guiding move. These
// primitives take only the line, the busy count and the clock they use and
// return what happened; the telescope operations (telescope/telescope.h)
// turn that into what the user sees.
#pragma once

#include <cstdint>
#include <string>

#include "core/busy_count.h"
#include "core/wait.h"
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

// Reply collection: at most this many reads with a pause_tick between them
// (about one second) ...
inline constexpr int kQueryPolls = 10001;
// ... ending early once the closing "#" is in, or once characters have come
// and then nothing more for this many reads (about 20 character times at
// 9600 baud: the controller sends a reply back to back) ...
inline constexpr int kReplyGapPolls = 200;
// ... or once the reply has grown to this length (a garbled stream).
inline constexpr std::size_t kMaxReplyLength = 32;

// The longest timed move: 60 seconds of busy counts. A larger product of
// amount, factor and repeat count is cut to this.
inline constexpr std::int64_t kMaxMoveCounts = 60'000'000;

void pause_tick(BusyCount& busy);
void pause_short(BusyCount& busy);

// Until the clock's second changes (more than 0, at most 1 second), letting
// the window run meanwhile.
WaitEnd wait_next_second(Clock& clock, Interaction& ui, const StopTest& stopped = {});

// Sends `command` followed by CR LF. Nothing is sent on a closed line
// (LineError::NotOpen).
LineError mount_send(SerialLine& line, const std::string& command);

enum class ReplyEnd {
  Complete,    // ended by its "#"
  Incomplete,  // characters came, but no "#" before they stopped or the text grew too long
  NoReply,     // nothing came within the poll limit
  NotSent,     // the command could not be sent (see `error`)
};

struct Reply {
  ReplyEnd end = ReplyEnd::NoReply;
  std::string text;  // as received, with its "#"; cut at kMaxReplyLength
  LineError error = LineError::None;
};

// Drops what was received so far, sends `command` and collects the reply.
Reply mount_query(SerialLine& line, BusyCount& busy, const std::string& command, int polls = kQueryPolls);

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

// Runs the counts of a move on the busy count, one count per round.
void run_move_counts(BusyCount& busy, const MoveCounts& counts);

}  // namespace stellacq
