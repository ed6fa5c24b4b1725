#include "telescope/mount_link.h"

#include <algorithm>
#include <cmath>

#include "core/clock.h"
#include "core/interaction.h"
#include "core/wire_log.h"

namespace stellacq {

namespace {

const DirectionCommands kUp{"move up", "#:Mn#", "#:Qn#"};
const DirectionCommands kDown{"move down", "#:Ms#", "#:Qs#"};
const DirectionCommands kLeft{"move left", "#:Me#", "#:Qe#"};
const DirectionCommands kRight{"move right", "#:Mw#", "#:Qw#"};

}  // namespace

void pause_tick(BusyCount& busy) { busy.count(kPauseTickCounts); }
void pause_short(BusyCount& busy) { busy.count(kPauseShortCounts); }

WaitEnd wait_next_second(Clock& clock, Interaction& ui, const StopTest& stopped) {
  return wait_second_change(clock, ui, stopped);
}

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

LineError mount_send(SerialLine& line, const std::string& command) {
  LineError error = LineError::NotOpen;
  const std::string text = command + "\r\n";
  if (line.is_open()) error = line.send(text);
  if (wire_log_on()) {
    if (error == LineError::None)
      wire_log(WireDevice::Mount, WireDirection::Sent, text);
    else
      wire_log(WireDevice::Mount, WireDirection::Event,
               "not sent (" + std::string(line_error_word(error)) + "): " + printable_bytes(text));
  }
  return error;
}

const char* line_error_word(LineError error) {
  switch (error) {
    case LineError::None:
      return "ok";
    case LineError::BadPortNumber:
      return "no COM port chosen";
    case LineError::BadSettings:
      return "bad line settings";
    case LineError::NoDevice:
      return "no such device";
    case LineError::NoPermission:
      return "no permission";
    case LineError::InUse:
      return "in use";
    case LineError::NotOpen:
      return "not open";
    case LineError::WriteFailed:
      return "write failed";
    case LineError::Other:
      break;
  }
  return "line error";
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

}  // namespace stellacq
