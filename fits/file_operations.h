// What the file dialog's OK button and the save-folder dialog's OK button do,
// and the save after each frame of a series; the windows (file_dialog.h,
// save_folder_dialog.h) only collect the texts and call these.
//
// Reads and writes file_mode and save_file_name (FileState), the settings
// save_folder and save_in_series, and through load_fits / save_fits the
// frames and card tables (the reader and the writer themselves are
// fits/reader.h and fits/writer.h). Messages go to the status line and the
// user-interaction seam.
#pragma once

#include <string>

#include "config/settings_store.h"
#include "core/clock.h"
#include "core/status_line.h"
#include "fits/header_tables.h"
#include "fits/writer.h"
#include "image/frames.h"

namespace stellacq {

// The frames in memory with the header cards that go with them.
struct HeldFrames {
  Frames& frames;
  HeaderTables& headers;
};

// Loads `path` into the frame kind of `target_mode` (0 light, 10 dark,
// 20 flat); a refusal is explained in a message box and changes nothing.
// Returns true when the frame was replaced.
bool load_fits(const HeldFrames& held, Interaction& ui, const std::string& path, int target_mode);

// Writes the light frame (file_mode 1) or the dark frame (any other mode) to
// save_file_name. Returns false, after telling the user why, when there is
// no frame of that kind or the file cannot be written.
bool save_fits(const HeldFrames& held, const FileState& file, const StatusLine& status,
               const WriteOptions& options = {});

// The file dialog's path text: the folder, "/" unless the folder already
// ends in one (the root), and the selected name (may be empty).
std::string dialog_path_text(const std::string& folder, const std::string& name);

// OK of the file dialog opened for `file_mode` (0, 10, 20 open a light,
// dark or flat frame from `text`; 1, 11 save the light or dark frame to it).
// Returns true when the operation succeeded and the dialog closes; an empty
// name, a folder, or a file that cannot be read or written gets a message and
// the dialog stays open. Any other mode does nothing.
bool file_dialog_ok(const HeldFrames& held, FileState& file, const StatusLine& status, int file_mode,
                    const std::string& text);

// OK of the save-folder dialog with the folder text (Text1) and the check
// box. A trailing "$" is removed and a relative path made absolute; `text`
// is updated to what was stored. A missing folder is created (with its
// parents) after the user agrees, storing the folder but not the check box;
// an existing folder stores both; a file of that name is refused. The
// settings file is then written. Returns true when the dialog closes: not
// after a refusal, nor when the settings file could not be written.
bool save_folder_ok(const SettingsFile& file, Interaction& ui, std::string& text, bool save_checked);

// "<folder>/ddhhmmss.FIT" for a frame taken at `t`; no second "/" after a
// folder that ends in one.
std::string series_file_name(const std::string& folder, const LocalDateTime& t);

// A series frame is saved under `path`, or, when a file of that name exists
// already (the names repeat every month, and within a second), under the
// first free one of "ddhhmmss_1.FIT" .. "ddhhmmss_999.FIT", which sorts right
// after the earlier frame of the same name. The list for `path`.
inline constexpr int kSeriesNameSuffixes = 1000;
NameList series_file_names(const std::string& path);

// Writes a series frame (with `header`) as a new file under the first free
// name of series_file_names(path), taken at the moment of publishing: a
// series never overwrites a file, also not one that another program saved
// under that name while this frame was written. The result's `path` is the
// name written; `all_taken` when no name was free.
WriteResult save_series_frame(const Frame& frame, const CardTable& header, const std::string& path,
                              const WriteOptions& options = {});

// After each frame of a series, taken at `now` (one clock reading, so that
// the day and the time of the name belong to the same instant): sets
// save_file_name to the frame's name in save_folder and file_mode to 1 (the
// state the file dialog shows), and when save_in_series is 1 hands `frame`
// as the download left it (corrected in place when the series corrects),
// the `header` built at its start and that name to save_series_frame, then
// sets save_file_name to the name written. Returns false, after telling the user on the status line and in a
// message box, when the frame could not be saved, so the series can stop in
// order.
bool series_save(const Frame& frame, const CardTable& header, FileState& file, const Settings& settings,
                 const LocalDateTime& now, const StatusLine& status);

}  // namespace stellacq
