// Form8, the save-folder dialog: the folder into which continuous shooting
// saves its frames and whether it does. OK checks the folder, offers to
// create a missing one and stores the settings (save_folder_ok). Not modal;
// the main window keeps one open at a time. Browsing moves the program's
// current folder.
//
// Reads and writes the settings save_folder and save_in_series.
#pragma once

#include <QPointer>
#include <QWidget>

#include "config/settings_store.h"
#include "core/interaction.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace stellacq {

class Form8 : public QWidget {
  Q_OBJECT

 public:
  Form8(const SettingsFile& file, Interaction& ui, QWidget* parent = nullptr);

  void Form_Load();
  void Drive1_Change();
  void Dir1_Change();
  void Command1_Click();
  void Command2_Click();

 private:
  void show_folder(const QString& folder);

  QLabel* Label1_;
  QLineEdit* Text1_;
  QComboBox* Drive1_;
  QListWidget* Dir1_;
  QPushButton* Command1_;
  QPushButton* Command2_;
  QCheckBox* Check1_;

  SettingsFile file_;
  Interaction& ui_;
};

}  // namespace stellacq
