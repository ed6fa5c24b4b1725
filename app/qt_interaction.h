// The user-interaction seam on Qt: the main window's status line, message and
// input boxes, the beep, the busy pointer and the event-queue yield.
#pragma once

#include <functional>
#include <memory>

#include "core/interaction.h"

class QEvent;
class QObject;

namespace stellacq {

class InputGate;

// What happens to an input event (a key, a click, a wheel turn) that comes
// during an exchange with a device.
enum class InputVerdict {
  Hold,     // kept, and delivered in its order after the exchange
  Deliver,  // delivered now (what an abort needs to reach its control)
  Taken,    // handled by whoever judged it; not delivered at all
};

class QtInteraction final : public Interaction {
 public:
  // Called by status() and yield() so that the window shows the fields the
  // logic has just rewritten, and by picture_changed() to repaint Picture1.
  std::function<void()> on_status;
  std::function<void()> on_fields;
  std::function<void()> on_picture;
  // Called by exchange_progress() before the window repaints, and by
  // exchange_ended().
  std::function<void(const ExchangeProgress&)> on_progress;
  std::function<void()> on_exchange_end;
  // Judges each input event that comes during an exchange; without it, all
  // input is held back.
  std::function<InputVerdict(QObject* receiver, QEvent* event)> on_exchange_input;

  QtInteraction();
  ~QtInteraction() override;

  void status(const std::string& text) override;
  MessageAnswer message_box(const std::string& text, const std::string& title,
                            MessageButtons buttons) override;
  std::string input_box(const std::string& prompt, const std::string& title,
                        const std::string& default_text) override;
  void beep() override;
  void busy_pointer(bool on) override;
  void yield() override;
  void idle() override;
  void picture_changed() override;
  // Shows the progress and lets the window repaint; input waits until the
  // exchange has ended, except what on_exchange_input lets through.
  void exchange_progress(const ExchangeProgress& progress) override;
  // Delivers the input held back during the exchange.
  void exchange_ended() override;

 private:
  int busy_depth_ = 0;
  std::unique_ptr<InputGate> gate_;
};

}  // namespace stellacq
