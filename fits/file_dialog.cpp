#include "fits/file_dialog.h"

#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

#include "program/program.h"
#include "fits/file_operations.h"
#include "fits/folder_lists.h"

namespace stellacq {

namespace {

QPointer<Form3>& the_dialog() {
  static QPointer<Form3> dialog;
  return dialog;
}

QString caption_for(int file_mode) {
  switch (file_mode) {
    case kOpenLight:
      return "File open";
    case kOpenDark:
      return "Dark File open";
    case kOpenFlat:
      return "Flat File open";
    case kSaveLight:
      return "File save";
    case kSaveDark:
      return "Dark File save";
    default:
      return "File";
  }
}

}  // namespace

Form3::Form3(Program& p) : QWidget(nullptr, Qt::Window), p_(p) {
  setObjectName("Form3");
  setAttribute(Qt::WA_DeleteOnClose);
  setFixedSize(312, 264);
  Text1 = place_control<QLineEdit>(this, "Text1", "", 8, 8, 297, 18);
  File1 = place_control<QListWidget>(this, "File1", "*.fit;*.fts;*.fits", 8, 32, 145, 222);
  Command1 = place_control<QPushButton>(this, "Command1", "OK", 160, 32, 65, 25);
  Command1->setText("OK");
  Command2 = place_control<QPushButton>(this, "Command2", "Cancel", 240, 32, 65, 25);
  Command2->setText("Cancel");
  Drive1 = place_control<QComboBox>(this, "Drive1", "", 160, 64, 145, 20);
  Dir1 = place_control<QListWidget>(this, "Dir1", "", 160, 88, 145, 160);

  connect(Drive1, &QComboBox::currentIndexChanged, this, [this] { Drive1_Change(); });
  connect(Dir1, &QListWidget::itemActivated, this, [this] { Dir1_Change(); });
  connect(File1, &QListWidget::itemClicked, this, [this] { File1_Click(); });
  connect(File1, &QListWidget::itemActivated, this, [this] { File1_Click(); });
  connect(Command1, &QPushButton::clicked, this, [this] { Command1_Click(); });
  connect(Command2, &QPushButton::clicked, this, [this] { Command2_Click(); });

  show_folder(QDir::currentPath());
}

void Form3::set_operation(int file_mode, const QString& caption) {
  mode_ = file_mode;
  setWindowTitle(caption);
}

void Form3::Form_Load() {
  p_.ui.beep();
  centre_on_screen(this);
}

void Form3::show_folder(const QString& folder) {
  folder_ = QDir(folder).absolutePath();
  fill_drive_list(Drive1, folder_);
  fill_folder_list(Dir1, folder_);
  fill_fits_file_list(File1, folder_);
}

void Form3::Drive1_Change() {
  show_folder(Drive1->currentData().toString());
  file_name_set();
}

void Form3::Dir1_Change() {
  const QListWidgetItem* item = Dir1->currentItem();
  if (item) show_folder(item->data(Qt::UserRole).toString());
  file_name_set();
}

void Form3::File1_Click() { file_name_set(); }

void Form3::file_name_set() {
  // Browsing moves the program's current folder; later dialogs start there.
  QDir::setCurrent(folder_);
  const QListWidgetItem* selected = File1->currentItem();
  const QString name = selected && selected->isSelected() ? selected->text() : QString();
  Text1->setText(QString::fromStdString(dialog_path_text(folder_.toStdString(), name.toStdString())));
}

void Form3::Command1_Click() {
  if (file_dialog_ok(p_, mode_, Text1->text().toStdString())) close();
}

void Form3::Command2_Click() { close(); }

Form3* open_file_dialog(Program& p, int file_mode) {
  p.file.file_mode = file_mode;
  QPointer<Form3>& dialog = the_dialog();
  const bool fresh = dialog.isNull();
  if (fresh) dialog = new Form3(p);
  dialog->set_operation(file_mode, caption_for(file_mode));
  if (fresh) dialog->Form_Load();
  dialog->show();
  dialog->raise();
  dialog->activateWindow();
  return dialog;
}

Form3* current_file_dialog() { return the_dialog(); }

void file_menu_open_light_Click(Program& p) { open_file_dialog(p, kOpenLight); }
void file_menu_open_dark_Click(Program& p) { open_file_dialog(p, kOpenDark); }
void file_menu_open_flat_Click(Program& p) { open_file_dialog(p, kOpenFlat); }
void file_menu_save_light_Click(Program& p) { open_file_dialog(p, kSaveLight); }
void file_menu_save_dark_Click(Program& p) { open_file_dialog(p, kSaveDark); }

}  // namespace stellacq
