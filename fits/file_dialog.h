// Form3, the file dialog of the file menu: pick a drive, a folder and a FITS
// file, or type a name, and press OK to open or save a frame. One dialog at a
// time, not modal; browsing moves the program's current folder. OK performs
// the operation the dialog was opened for (file_dialog_ok).
//
// Reads and writes the Program's FileState through file_dialog_ok; the
// frames and card tables through load_fits / save_fits.
#pragma once

#include <QPointer>
#include <QWidget>

class QComboBox;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace stellacq {

class Program;

class Form3 : public QWidget {
  Q_OBJECT

 public:
  explicit Form3(Program& p);

  // The operation and caption of the menu command that showed the dialog.
  void set_operation(int file_mode, const QString& caption);
  int operation() const { return mode_; }

  void Form_Load();
  void Drive1_Change();
  void Dir1_Change();
  void File1_Click();
  void file_name_set();
  void Command1_Click();
  void Command2_Click();

  QLineEdit* Text1;
  QListWidget* File1;
  QPushButton* Command1;
  QPushButton* Command2;
  QComboBox* Drive1;
  QListWidget* Dir1;

 private:
  void show_folder(const QString& folder);

  Program& p_;
  int mode_ = 0;
  QString folder_;
};

// Shows the one file dialog for `file_mode` (0, 10, 20, 1, 11) with the
// caption of its menu command, creating it when none is open; sets
// file_mode. Returns the dialog.
Form3* open_file_dialog(Program& p, int file_mode);
// The dialog now open, or null.
Form3* current_file_dialog();

void file_menu_open_light_Click(Program& p);
void file_menu_open_dark_Click(Program& p);
void file_menu_open_flat_Click(Program& p);
void file_menu_save_light_Click(Program& p);
void file_menu_save_dark_Click(Program& p);

}  // namespace stellacq
