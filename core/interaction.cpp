#include "core/interaction.h"

namespace stellacq {

MessageAnswer ScriptedInteraction::message_box(const std::string& text, const std::string& title,
                                               MessageButtons buttons) {
  boxes.push_back({text, title, buttons});
  if (box_answers.empty()) return MessageAnswer::Ok;
  const MessageAnswer answer = box_answers.front();
  box_answers.pop_front();
  return answer;
}

std::string ScriptedInteraction::input_box(const std::string& prompt, const std::string& title,
                                           const std::string& default_text) {
  inputs.push_back({prompt, title, default_text});
  if (input_answers.empty()) return {};
  std::string answer = input_answers.front();
  input_answers.pop_front();
  return answer;
}

void ScriptedInteraction::busy_pointer(bool on) {
  ++(on ? busy_on : busy_off);
  busy_now = on;
}

void ScriptedInteraction::yield() {
  ++yields;
  if (on_yield) on_yield();
}

void ScriptedInteraction::idle() {
  ++idles;
  yield();
  if (on_idle) on_idle();
}

std::int64_t seconds_left(const ExchangeProgress& progress) {
  const std::int64_t left_ms = progress.total - progress.done;
  return left_ms <= 0 ? 0 : (left_ms + 999) / 1000;
}

void ScriptedInteraction::exchange_progress(const ExchangeProgress& p) {
  progress.push_back(p);
  if (on_progress) on_progress();
}

const std::string& ScriptedInteraction::last_status() const {
  static const std::string empty;
  return statuses.empty() ? empty : statuses.back();
}

}  // namespace stellacq
