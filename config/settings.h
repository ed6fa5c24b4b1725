// The settings record: the program's whole persistent configuration, held in
// memory for the run and stored line by line in STELLACQ.INI (ini_file.h).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace stellacq {

// A field of type "number" may be empty (never set); empty reads as 0
// wherever it takes part in arithmetic or comparisons.
using OptionalNumber = std::optional<double>;
inline double number_or_zero(const OptionalNumber& n) { return n.value_or(0.0); }

struct Settings {
  std::int16_t x_reverse = 0;  // 1: X (right ascension) corrections reversed
  std::int16_t y_reverse = 0;  // 1: Y (declination) corrections reversed
  std::int16_t x_tracking_on = 0;
  std::int16_t y_tracking_on = 0;
  std::int32_t x_tracking_factor = 0;  // busy counts per unit of X correction
  std::int32_t y_tracking_factor = 0;
  OptionalNumber search_span;  // whole number
  std::int16_t aperture = 0;
  float threshold = 0.0f;
  std::int16_t guide_dark_sub = 0;
  std::int16_t guide_flat_sub = 0;
  std::int16_t com_port = 0;       // 1..3 = COM1..COM3, 0 = not chosen
  std::int16_t parallel_port = 0;  // 1..3, see apply_parallel_port(); 0 = not chosen
  // A fresh record holds values inside each field's range: a repeat count
  // of 0 would make every guiding move a no-op.
  double x_move_repeat = 1.0;      // at least 1
  std::int16_t y_move_repeat = 1;  // at least 1
  std::int16_t unit_model = 16;    // kUnitTu11 or kUnitTu22
  std::int16_t head_model = 16;    // kHeadTx11 or kHeadTx22
  std::int16_t small_shift_ignore = 0;
  std::string save_folder;
  OptionalNumber save_in_series;    // 1 = save every frame of a series
  OptionalNumber program_shutter;   // seconds
  OptionalNumber program_interval;  // seconds
  OptionalNumber program_count;
  OptionalNumber program_repeat;
  OptionalNumber program_wait;  // seconds

  bool operator==(const Settings&) const = default;
};

// What the program knows about STELLACQ.INI beyond its contents.
struct SettingsFileStatus {
  // Why the file could not be read at start (empty when it was read or was
  // missing). While set, a save asks before it replaces that file.
  std::string unreadable_reason;
  // Why the last save did not write the file; `declined` when the user
  // chose to keep the unreadable file.
  std::string last_failure;
  bool declined = false;
};

// The three registers of the chosen parallel port.
struct PortAddresses {
  bool set = false;  // false until a valid parallel_port has been applied
  std::uint16_t port_data = 0;
  std::uint16_t port_status = 0;
  std::uint16_t port_control = 0;
};

// parallel_port 1 -> 0x278, 2 -> 0x378, 3 -> 0x3BC (status and control at
// +1 and +2). Any other value leaves `addresses` unchanged and returns false.
bool apply_parallel_port(std::int16_t parallel_port, PortAddresses& addresses);

}  // namespace stellacq
