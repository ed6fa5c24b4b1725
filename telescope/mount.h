// The mount as a service: the LX200 hand controller on its serial line, with
// values in and values out. It owns the line seam, the busy count that times
// its moves and the clock its replies are waited on; it writes no status
// line and shows nothing, so any front-end can use it. The telescope window
// and the guiding step (telescope/telescope.h) turn its results into what
// the user sees.
//
//   Mount mount(line, busy, clock);
//   mount.open(1);                              // COM1; sends the four stops
//   Reply ra = mount.query_ra();                // "05:35:17#", whole
//   mount.timed_move(Direction::Right, 3, 400000, 1);  // "#:Mw#", 1.2 s, "#:Qw#"
//
// One command runs at a time: nothing else may use the line while a query
// or a move runs. moving() tells a move under way, so that a handler that
// runs inside a move's wait (ending the program on a signal) can stop it.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>

#include "core/busy_count.h"
#include "telescope/direction.h"
#include "telescope/mount_link.h"
#include "telescope/serial_line.h"

namespace stellacq {

class Clock;

enum class MoveEnd {
  Done,         // start, counts and stop went out
  NotSent,      // the line was closed or refused the start: the mount did not move
  StopNotSent,  // the stop could not be sent: the mount may still be moving
};

struct MoveResult {
  MoveEnd end = MoveEnd::NotSent;
  LineError start_error = LineError::None;  // why the start did not go out
  LineError stop_error = LineError::None;   // why the stop did not go out
  MoveCounts counts;                        // the busy counts of the move
};

class Mount {
 public:
  Mount(SerialLine& line, BusyCount& busy, Clock& clock) : line_(line), busy_(busy), clock_(clock) {}
  Mount(const Mount&) = delete;
  Mount& operator=(const Mount&) = delete;

  // Sets port number `com` and the settings "9600,N,8,1", then opens the
  // line unless it is open already. A line it opens gets the four stop
  // commands first, so that no motion left over from before (a program that
  // ended in the middle of a move) runs on; a failed stop is the open's
  // failure. `detail` receives the system's words for a failed open.
  LineError open(int com, std::string* detail = nullptr);
  void close();
  bool is_open() const { return line_.is_open(); }
  // "COM1 (/dev/ttyS0)": the line of COM number `com` as the user knows it.
  std::string line_name(int com);

  // Drops what has come so far, sends `command` and collects its reply up
  // to its "#", at most kReplyLimitUs from the send. Characters of an
  // earlier reply that was given up are never taken into this one.
  Reply query(const std::string& command);
  Reply query_ra() { return query("#:GR#"); }
  Reply query_dec() { return query("#:GD#"); }
  // Sends a query without waiting for its reply; heard() tells later
  // whether a whole reply (up to its "#") came back since.
  LineError probe(const std::string& command);
  bool heard();
  // An earlier query's reply is still owed and not yet taken as lost: a
  // query sent now would get that reply first.
  bool awaiting_reply();

  // A timed move: once what was sent before has left the line, the start
  // command, `repeat` rounds of amount x factor + 1 busy counts (see
  // move_counts), the stop command, pause_short. Returns when the stop was
  // sent. `progress` is called every few milliseconds
  // during the counts with the microseconds done and in all.
  using MoveProgress = std::function<void(std::int64_t done_us, std::int64_t total_us)>;
  MoveResult timed_move(Direction direction, std::int32_t amount, std::int32_t factor, double repeat,
                        const MoveProgress& progress = {});
  // A short push: the start command, 11 pause_ticks, the stop command.
  MoveResult nudge(Direction direction);
  // "#:Qn#", "#:Qs#", "#:Qe#", "#:Qw#": stops motion in every direction.
  LineError stop_all();
  // The direction of a move whose start went out and whose stop has not.
  std::optional<Direction> moving() const { return moving_; }
  // The stop of a move could not be sent, and no open has sent the four
  // stops since: the mount may still be moving. A move whose stop fails
  // closes the line, so the next open sends that stop again.
  bool stop_unsent() const { return stop_unsent_; }
  // Sends the stop of the move under way, if any.
  LineError stop_moving();

 private:
  LineError send(const std::string& command);
  // Takes what has come, letting it settle the owed replies.
  void absorb(const std::string& received);
  void forget_stale_replies();
  void stop_not_sent();

  SerialLine& line_;
  BusyCount& busy_;
  Clock& clock_;
  std::optional<Direction> moving_;
  bool stop_unsent_ = false;
  // Send times of the queries whose "#" has not come yet, oldest first.
  std::deque<std::int64_t> owed_;
  std::int64_t last_received_us_ = 0;
};

}  // namespace stellacq
