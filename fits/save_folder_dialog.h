// Form8, the save-folder dialog: the folder into which continuous shooting
// saves its frames and whether it does. OK checks the folder, offers to
// create a missing one and stores the settings (save_folder_ok). One dialog
// at a time, not modal; browsing moves the program's current folder.
//
// Reads and writes the settings save_folder and save_in_series.
#pragma once

#include <QPointer>
#include <QWidget>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace stellacq {

class Program;

class Form8 : public QWidget {
  Q_OBJECT

 public:
  explicit Form8(Program& p);

  void Form_Load();
  void Drive1_Change();
  void Dir1_Change();
  void Command1_Click();
  void Command2_Click();

  QLabel* Label1;
  QLineEdit* Text1;
  QComboBox* Drive1;
  QListWidget* Dir1;
  QPushButton* Command1;
  QPushButton* Command2;
  QCheckBox* Check1;

 private:
  void show_folder(const QString& folder);

  Program& p_;
};

// Shows the one save-folder dialog, creating it when none is open.
Form8* open_save_folder_dialog(Program& p);
Form8* current_save_folder_dialog();

void config_menu_file_Click(Program& p);

}  // namespace stellacq
