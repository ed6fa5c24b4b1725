// The parts shared by the file dialog and the save-folder dialog: the
// drive, folder and file lists.
// On this system the "drives" are the file-system roots. Every list item
// keeps its absolute path in Qt::UserRole.
#pragma once

#include <QString>
#include <QWidget>

class QComboBox;
class QListWidget;

namespace stellacq {

// Fills Drive1 with the roots and selects the one holding `folder`.
void fill_drive_list(QComboBox* drives, const QString& folder);

// Fills Dir1 with the chain of folders from the root down to `folder`
// (indented by depth) and the subfolders of `folder`, which is selected.
void fill_folder_list(QListWidget* folders, const QString& folder);

// Fills File1 with the files of `folder` ending in .fit, .fts or .fits, in
// any case, sorted by name.
void fill_fits_file_list(QListWidget* files, const QString& folder);

}  // namespace stellacq
