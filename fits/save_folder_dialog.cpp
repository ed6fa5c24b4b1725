#include "fits/save_folder_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

#include "program/program.h"
#include "fits/file_operations.h"
#include "fits/folder_lists.h"

namespace stellacq {

namespace {

QPointer<Form8>& the_dialog() {
  static QPointer<Form8> dialog;
  return dialog;
}

}  // namespace

Form8::Form8(Program& p) : QWidget(nullptr, Qt::Window), p_(p) {
  setObjectName("Form8");
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowTitle("フォルダー指定");
  setFixedSize(279, 215);
  Label1 = place_control<QLabel>(this, "Label1", "連続撮影画像を保存するフォルダー", 8, 8, 193, 17);
  Label1->setText("連続撮影画像を保存するフォルダー");
  Text1 = place_control<QLineEdit>(this, "Text1", "", 8, 24, 265, 41);
  Drive1 = place_control<QComboBox>(this, "Drive1", "", 8, 72, 193, 20);
  Dir1 = place_control<QListWidget>(this, "Dir1", "", 8, 96, 193, 90);
  Command1 = place_control<QPushButton>(this, "Command1", "OK", 208, 72, 65, 25);
  Command1->setText("OK");
  Command2 = place_control<QPushButton>(this, "Command2", "Cancel", 208, 104, 65, 25);
  Command2->setText("Cancel");
  Check1 = place_control<QCheckBox>(this, "Check1", "連続撮影時に画像を保存する", 48, 192, 185, 17);
  Check1->setText("連続撮影時に画像を保存する");

  connect(Drive1, &QComboBox::currentIndexChanged, this, [this] { Drive1_Change(); });
  connect(Dir1, &QListWidget::itemActivated, this, [this] { Dir1_Change(); });
  connect(Command1, &QPushButton::clicked, this, [this] { Command1_Click(); });
  connect(Command2, &QPushButton::clicked, this, [this] { Command2_Click(); });
}

void Form8::Form_Load() {
  Text1->setText(QString::fromStdString(p_.settings.save_folder));
  Check1->setChecked(number_or_zero(p_.settings.save_in_series) == 1);
  // The lists start at the program's current folder, not at save_folder.
  show_folder(QDir::currentPath());
  centre_on_screen(this);
}

void Form8::show_folder(const QString& folder) {
  fill_drive_list(Drive1, folder);
  fill_folder_list(Dir1, folder);
}

void Form8::Drive1_Change() {
  show_folder(Drive1->currentData().toString());
  Dir1_Change();
}

void Form8::Dir1_Change() {
  const QListWidgetItem* item = Dir1->currentItem();
  if (!item) return;
  const QString folder = item->data(Qt::UserRole).toString();
  show_folder(folder);
  QDir::setCurrent(folder);
  Text1->setText(folder);
}

void Form8::Command1_Click() {
  std::string text = Text1->text().toStdString();
  const bool close_now = save_folder_ok(p_, text, Check1->isChecked());
  Text1->setText(QString::fromStdString(text));
  if (close_now) close();
}

void Form8::Command2_Click() { close(); }

Form8* open_save_folder_dialog(Program& p) {
  QPointer<Form8>& dialog = the_dialog();
  if (dialog.isNull()) {
    dialog = new Form8(p);
    dialog->Form_Load();
  }
  dialog->show();
  dialog->raise();
  dialog->activateWindow();
  return dialog;
}

Form8* current_save_folder_dialog() { return the_dialog(); }

void config_menu_file_Click(Program& p) { open_save_folder_dialog(p); }

}  // namespace stellacq
