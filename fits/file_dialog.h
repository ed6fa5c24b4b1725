// Form3, the file dialog of the file menu: pick a drive, a folder and a FITS
// file, or type a name, and press OK to open or save a frame. Not modal; the
// main window keeps one open at a time. Browsing moves the program's current
// folder. OK performs the operation the dialog was opened for
// (file_dialog_ok).
//
// Reads and writes the FileState it is given through file_dialog_ok; the
// held frames and card tables through load_fits / save_fits.
#pragma once

#include <QPointer>
#include <QWidget>

#include "core/status_line.h"
#include "fits/file_operations.h"

class QComboBox;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace stellacq {

class Form3 : public QWidget {
  Q_OBJECT

 public:
  Form3(const HeldFrames& held, FileState& file, const StatusLine& status, QWidget* parent = nullptr);

  // The operation of the menu command that showed the dialog (file_mode
  // 0, 10, 20, 1, 11), with its caption.
  void set_operation(int file_mode);
  int operation() const { return mode_; }

  void Form_Load();
  void Drive1_Change();
  void Dir1_Change();
  void File1_Click();
  void file_name_set();
  void Command1_Click();
  void Command2_Click();

 private:
  void show_folder(const QString& folder);

  QLineEdit* Text1_;
  QListWidget* File1_;
  QPushButton* Command1_;
  QPushButton* Command2_;
  QComboBox* Drive1_;
  QListWidget* Dir1_;

  HeldFrames held_;
  FileState& file_;
  StatusLine status_;
  int mode_ = 0;
  QString folder_;
};

}  // namespace stellacq
