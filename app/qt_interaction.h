// The user-interaction seam on Qt: the main window's status line, message and
// input boxes, the beep, the busy pointer and the event-queue yield.
#pragma once

#include <functional>

#include "core/interaction.h"

namespace stellacq {

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
  // Shows the progress and lets the window repaint; input stays queued.
  void exchange_progress(const ExchangeProgress& progress) override;
  void exchange_ended() override;

 private:
  int busy_depth_ = 0;
};

}  // namespace stellacq
