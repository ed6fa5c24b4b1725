// User-interaction seam: everything the logic asks of the person at the
// screen. The main window implements it with Qt; tests use
// ScriptedInteraction, which records what the user saw and answers boxes
// from a script.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace stellacq {

enum class MessageButtons { Ok, OkCancel };

// How far an exchange with a device has come: an exposure or a timed move
// of the mount in milliseconds of its time, a download in samples of the
// frame.
enum class ExchangeKind { Exposure, Download, Move };
struct ExchangeProgress {
  ExchangeKind kind = ExchangeKind::Exposure;
  std::int64_t done = 0;
  std::int64_t total = 0;
};
// The whole seconds of an exposure still to run (0 once it is over).
std::int64_t seconds_left(const ExchangeProgress& progress);
enum class MessageAnswer { Ok, Cancel };

class Interaction {
 public:
  virtual ~Interaction() = default;
  // The main window's status line (Text7).
  virtual void status(const std::string& text) = 0;
  // A message box that waits for its answer.
  virtual MessageAnswer message_box(const std::string& text, const std::string& title = {},
                                    MessageButtons buttons = MessageButtons::Ok) = 0;
  // An input box; a cancelled box answers the empty text.
  virtual std::string input_box(const std::string& prompt, const std::string& title,
                                const std::string& default_text) = 0;
  virtual void beep() = 0;
  // The busy (hourglass) mouse pointer on or off.
  virtual void busy_pointer(bool on) = 0;
  // Processes the pending window events once and returns.
  virtual void yield() = 0;
  // One pass of a wait: processes the pending events and lets the processor
  // rest a few milliseconds, so that a wait of minutes does not spin.
  virtual void idle() { yield(); }
  // The picture of the image area (Picture1) has changed and must be shown.
  virtual void picture_changed() = 0;
  // Progress of an exchange with the camera unit or of a timed move of the
  // mount, told while it runs. The
  // window may repaint, but nothing may run that touches the program state
  // or the port: input and ticks wait until exchange_ended().
  virtual void exchange_progress(const ExchangeProgress&) {}
  // The exchange has ended (whether or not it told any progress).
  virtual void exchange_ended() {}
};

class ScriptedInteraction final : public Interaction {
 public:
  struct Box {
    std::string text, title;
    MessageButtons buttons;
  };
  struct Input {
    std::string prompt, title, default_text;
  };

  std::vector<std::string> statuses;
  std::vector<Box> boxes;
  std::vector<Input> inputs;
  std::deque<MessageAnswer> box_answers;  // when empty, boxes answer Ok
  std::deque<std::string> input_answers;  // when empty, inputs answer ""
  int beeps = 0;
  int busy_on = 0;
  int busy_off = 0;
  bool busy_now = false;
  int yields = 0;
  int idles = 0;  // passes of a wait; each also counts as a yield
  int picture_updates = 0;
  std::vector<ExchangeProgress> progress;  // every progress told, in order
  int exchanges_ended = 0;
  // Called at every progress told, after it is recorded.
  std::function<void()> on_progress;
  // Called at every yield, so a test can run a stop command or a tick in the
  // middle of a long operation, as a person clicking would.
  std::function<void()> on_yield;
  // Called at every pass of a wait after on_yield: a test moves its manual
  // clock here, so waits end without real time passing.
  std::function<void()> on_idle;

  void status(const std::string& text) override { statuses.push_back(text); }
  MessageAnswer message_box(const std::string& text, const std::string& title,
                            MessageButtons buttons) override;
  std::string input_box(const std::string& prompt, const std::string& title,
                        const std::string& default_text) override;
  void beep() override { ++beeps; }
  void busy_pointer(bool on) override;
  void yield() override;
  void idle() override;
  void picture_changed() override { ++picture_updates; }
  void exchange_progress(const ExchangeProgress& p) override;
  void exchange_ended() override { ++exchanges_ended; }

  const std::string& last_status() const;
};

}  // namespace stellacq
