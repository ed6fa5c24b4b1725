// What the tracking settings dialog does to the settings, without a window:
// reading its typed fields, the paired direction boxes, the repeat counts
// that take effect while they are typed, and OK.
//
// Shared state: the settings (the repeat counts at every edit, the rest at
// OK) and the settings file (written by OK). Messages go to the
// user-interaction seam.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "config/settings.h"
#include "config/settings_store.h"
#include "guiding/measure.h"

namespace stellacq {

// Number of a typed field. Blanks, tabs, carriage returns and line feeds
// anywhere in the text are ignored. "&H" and "&O" (either case) read the
// hexadecimal or octal digits that follow as a non-negative number ("&HFF"
// is 255, "&HFFFF" 65535); any other text is read as a decimal number (see
// numeric_value). Reading stops at the first character that cannot continue
// the number; a text without a number gives 0, and so does a number too
// large for a double.
double field_value(std::string_view text);

// The number of a field rounded with ties to even (2.5 -> 2, 3.5 -> 4), as
// the whole-number fields take it. The result may lie outside the field's
// range; OK checks that.
double whole_field_value(std::string_view text);

// The dialog's values between opening and OK: copies of the settings that
// only OK stores, and the ticks of the boxes that OK reads.
struct TrackingEdits {
  std::int16_t x_reverse = 0;       // Check2 ticked (Check1 cleared) when 1
  std::int16_t y_reverse = 0;       // Check4 ticked (Check3 cleared) when 1
  bool x_tracking_on = false;       // Check5
  bool y_tracking_on = false;       // Check6
  bool guide_dark_sub = false;      // Check7
  bool guide_flat_sub = false;      // Check8
  bool small_shift_ignore = false;  // Check9
  double x_tracking_factor = 0;     // whole; must fit 32 bits at OK
  double y_tracking_factor = 0;
  double search_span = 0;  // whole; must fit 16 bits at OK
  double aperture = 0;
  double threshold = 0;  // must fit a single-precision float at OK
};

// The edits as the dialog opens with `settings`.
TrackingEdits tracking_edits(const Settings& settings);

// The field texts as the dialog shows them on opening: Text1..Text5 with
// the sign position, Text6 and Text7 plain.
struct TrackingTexts {
  std::string Text1, Text2, Text3, Text4, Text5, Text6, Text7;
};
TrackingTexts tracking_texts(const Settings& settings);

// A click on one box of a direction pair ("normal" or "reversed") that left
// it `ticked`: the reversal flag the pair stands for afterwards. Ticking
// " 正転" or clearing " 逆転" gives 0, the other two give 1; the pair then
// shows one box ticked, the normal one when the flag is 0.
std::int16_t direction_clicked(bool reversed_box, bool ticked);

// Text6 and Text7 edited: the repeat count is stored in the settings at
// once (below 1 it becomes 1; Text7 is rounded with ties to even and held
// within 16 bits), and the text the field shows instead is returned.
std::string x_move_repeat_edited(Settings& settings, std::string_view text);
std::string y_move_repeat_edited(Settings& settings, std::string_view text);

// Why OK cannot store the edits, as the message the user sees, or nothing
// when they can be stored: a number outside its field's range, or a span
// and aperture the star measurement cannot use (span at least 1, aperture
// at least 0 and smaller than the span).
std::optional<std::string> tracking_edits_problem(const TrackingEdits& edits);

enum class TrackingOk {
  Stored,     // stored and written; the dialog closes
  Refused,    // told the user why; nothing stored, the dialog stays open
  NotWritten  // stored for this run, the file could not be written (told)
};

// OK: refuses edits that cannot be stored (message box), otherwise stores
// them into the settings and writes the settings file, reporting a failed
// write.
TrackingOk tracking_ok(const SettingsFile& file, Interaction& ui, const TrackingEdits& edits);

}  // namespace stellacq
