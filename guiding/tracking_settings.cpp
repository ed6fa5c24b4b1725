// Tracking settings without a window; see tracking_settings.h.
#include "guiding/tracking_settings.h"

#include <cmath>
#include <limits>

#include "config/ini_file.h"
#include "config/settings_store.h"
#include "core/numeric.h"

namespace stellacq {

namespace {

constexpr const char* kTitle = "Tracking Factor Setting";

bool ignored(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// Value of a digit in `base`, or -1 when the character is not one.
int digit_value(char c, int base) {
  int d = -1;
  if (c >= '0' && c <= '9') d = c - '0';
  if (c >= 'a' && c <= 'f') d = c - 'a' + 10;
  if (c >= 'A' && c <= 'F') d = c - 'A' + 10;
  return d < base ? d : -1;
}

bool within(double value, double low, double high) { return value >= low && value <= high; }

template <typename T>
bool fits(double value) {
  return within(value, std::numeric_limits<T>::lowest(), std::numeric_limits<T>::max());
}

std::string range_message(const char* field, const std::string& low, const std::string& high) {
  return std::string(field) + " には " + low + " から " + high + " までの数を入力してください。";
}

}  // namespace

double field_value(std::string_view text) {
  std::string compact;
  for (char c : text)
    if (!ignored(c)) compact += c;
  if (compact.size() >= 2 && compact[0] == '&') {
    const char prefix = compact[1];
    const int base = (prefix == 'H' || prefix == 'h') ? 16 : (prefix == 'O' || prefix == 'o') ? 8 : 0;
    if (base != 0) {
      double value = 0;
      for (std::size_t i = 2; i < compact.size(); ++i) {
        const int d = digit_value(compact[i], base);
        if (d < 0) break;
        value = value * base + d;
      }
      return std::isfinite(value) ? value : 0.0;
    }
  }
  return numeric_value(compact);
}

double whole_field_value(std::string_view text) { return round_half_even(field_value(text)); }

TrackingEdits tracking_edits(const Settings& s) {
  TrackingEdits e;
  e.x_reverse = s.x_reverse;
  e.y_reverse = s.y_reverse;
  e.x_tracking_on = s.x_tracking_on == 1;
  e.y_tracking_on = s.y_tracking_on == 1;
  e.guide_dark_sub = s.guide_dark_sub == 1;
  e.guide_flat_sub = s.guide_flat_sub == 1;
  e.small_shift_ignore = s.small_shift_ignore == 1;
  e.x_tracking_factor = s.x_tracking_factor;
  e.y_tracking_factor = s.y_tracking_factor;
  e.search_span = number_or_zero(s.search_span);
  e.aperture = s.aperture;
  e.threshold = s.threshold;
  return e;
}

TrackingTexts tracking_texts(const Settings& s) {
  return {decimal_text(s.x_tracking_factor),
          decimal_text(s.y_tracking_factor),
          decimal_text(number_or_zero(s.search_span)),
          decimal_text(s.aperture),
          decimal_text_single(s.threshold),
          plain_text(s.x_move_repeat),
          plain_text(s.y_move_repeat)};
}

std::int16_t direction_clicked(bool reversed_box, bool ticked) { return reversed_box == ticked ? 1 : 0; }

std::string x_move_repeat_edited(Settings& settings, std::string_view text) {
  const double value = field_value(text);
  settings.x_move_repeat = value < 1 ? 1 : value;
  return plain_text(settings.x_move_repeat);
}

std::string y_move_repeat_edited(Settings& settings, std::string_view text) {
  const double value = whole_field_value(text);
  const double limit = std::numeric_limits<std::int16_t>::max();
  settings.y_move_repeat = static_cast<std::int16_t>(value < 1 ? 1 : value > limit ? limit : value);
  return plain_text(settings.y_move_repeat);
}

std::optional<std::string> tracking_edits_problem(const TrackingEdits& e) {
  using I32 = std::numeric_limits<std::int32_t>;
  const std::string low32 = plain_text(I32::min()), high32 = plain_text(I32::max());
  if (!fits<std::int32_t>(e.x_tracking_factor)) return range_message("X : Tracking factor", low32, high32);
  if (!fits<std::int32_t>(e.y_tracking_factor)) return range_message("Y : Tracking factor", low32, high32);
  // The star measurement needs a search window larger than the aperture
  // box, so that some sky is left around the star.
  const double span_limit = std::numeric_limits<std::int16_t>::max();
  if (!within(e.search_span, 1, span_limit))
    return range_message("Sarch Span", "1", plain_text(span_limit)) + "\n(Aperture より大きな値)";
  if (!within(e.aperture, 0, e.search_span - 1))
    return range_message("Aperture", "0", plain_text(e.search_span - 1)) + "\n(Sarch Span より小さな値)";
  if (!fits<float>(e.threshold)) {
    const std::string high = decimal_text_single(std::numeric_limits<float>::max()).substr(1);
    return range_message("Threshold", "-" + high, high);
  }
  return std::nullopt;
}

TrackingOk tracking_ok(const SettingsFile& file, Interaction& ui, const TrackingEdits& e) {
  if (const std::optional<std::string> problem = tracking_edits_problem(e)) {
    ui.message_box(*problem, kTitle, MessageButtons::Ok);
    return TrackingOk::Refused;
  }
  Settings& s = file.settings;
  s.x_tracking_on = e.x_tracking_on ? 1 : 0;
  s.y_tracking_on = e.y_tracking_on ? 1 : 0;
  s.guide_dark_sub = e.guide_dark_sub ? 1 : 0;
  s.guide_flat_sub = e.guide_flat_sub ? 1 : 0;
  s.small_shift_ignore = e.small_shift_ignore ? 1 : 0;
  s.x_reverse = e.x_reverse;
  s.y_reverse = e.y_reverse;
  s.x_tracking_factor = static_cast<std::int32_t>(e.x_tracking_factor);
  s.y_tracking_factor = static_cast<std::int32_t>(e.y_tracking_factor);
  s.search_span = e.search_span;
  s.aperture = static_cast<std::int16_t>(e.aperture);
  s.threshold = static_cast<float>(e.threshold);
  if (!save_settings(file, ui)) {
    report_settings_write_failure(file, ui);
    return TrackingOk::NotWritten;
  }
  return TrackingOk::Stored;
}

}  // namespace stellacq
