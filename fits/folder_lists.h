// The parts shared by the file dialog and the save-folder dialog: placing a
// named control, centring the dialog, and the drive, folder and file lists.
// On this system the "drives" are the file-system roots. Every list item
// keeps its absolute path in Qt::UserRole.
#pragma once

#include <QString>
#include <QWidget>

class QComboBox;
class QListWidget;

namespace stellacq {

// A control of kind W named `name` (object name and accessible description)
// with the visible caption `caption`, at x, y and w x h in `parent`.
template <typename W>
W* place_control(QWidget* parent, const char* name, const QString& caption, int x, int y, int w, int h) {
  auto* widget = new W(parent);
  widget->setObjectName(name);
  widget->setAccessibleDescription(name);
  widget->setAccessibleName(caption);
  widget->setGeometry(x, y, w, h);
  return widget;
}

// Moves the dialog to the middle of the primary screen.
void centre_on_screen(QWidget* dialog);

// Fills Drive1 with the roots and selects the one holding `folder`.
void fill_drive_list(QComboBox* drives, const QString& folder);

// Fills Dir1 with the chain of folders from the root down to `folder`
// (indented by depth) and the subfolders of `folder`, which is selected.
void fill_folder_list(QListWidget* folders, const QString& folder);

// Fills File1 with the files of `folder` ending in .fit, .fts or .fits, in
// any case, sorted by name.
void fill_fits_file_list(QListWidget* files, const QString& folder);

}  // namespace stellacq
