#include "fits/save_folder_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

#include "fits/file_operations.h"
#include "fits/folder_lists.h"
#include "window_kit/window_support.h"

namespace stellacq {

Form8::Form8(const SettingsFile& file, Interaction& ui, QWidget* parent)
    : QWidget(parent, Qt::Window), file_(file), ui_(ui) {
  named(this, "Form8");
  setWindowTitle("フォルダー指定");
  setFixedSize(279, 215);
  Label1_ = place_control<QLabel>(this, "Label1", "連続撮影画像を保存するフォルダー", 8, 8, 193, 17);
  Label1_->setText("連続撮影画像を保存するフォルダー");
  Text1_ = place_control<QLineEdit>(this, "Text1", "", 8, 24, 265, 41);
  Drive1_ = place_control<QComboBox>(this, "Drive1", "", 8, 72, 193, 20);
  Dir1_ = place_control<QListWidget>(this, "Dir1", "", 8, 96, 193, 90);
  Command1_ = place_control<QPushButton>(this, "Command1", "OK", 208, 72, 65, 25);
  Command1_->setText("OK");
  Command2_ = place_control<QPushButton>(this, "Command2", "Cancel", 208, 104, 65, 25);
  Command2_->setText("Cancel");
  Check1_ = place_control<QCheckBox>(this, "Check1", "連続撮影時に画像を保存する", 48, 192, 185, 17);
  Check1_->setText("連続撮影時に画像を保存する");

  connect(Drive1_, &QComboBox::currentIndexChanged, this, [this] { Drive1_Change(); });
  connect(Dir1_, &QListWidget::itemActivated, this, [this] { Dir1_Change(); });
  connect(Command1_, &QPushButton::clicked, this, [this] { Command1_Click(); });
  connect(Command2_, &QPushButton::clicked, this, [this] { Command2_Click(); });
  Form_Load();
}

void Form8::Form_Load() {
  Text1_->setText(QString::fromStdString(file_.settings.save_folder));
  Check1_->setChecked(number_or_zero(file_.settings.save_in_series) == 1);
  // The lists start at the program's current folder, not at save_folder.
  show_folder(QDir::currentPath());
  centre_on_screen(this);
}

void Form8::show_folder(const QString& folder) {
  fill_drive_list(Drive1_, folder);
  fill_folder_list(Dir1_, folder);
}

void Form8::Drive1_Change() {
  show_folder(Drive1_->currentData().toString());
  Dir1_Change();
}

void Form8::Dir1_Change() {
  const QListWidgetItem* item = Dir1_->currentItem();
  if (!item) return;
  const QString folder = item->data(Qt::UserRole).toString();
  show_folder(folder);
  QDir::setCurrent(folder);
  Text1_->setText(folder);
}

void Form8::Command1_Click() {
  std::string text = Text1_->text().toStdString();
  const bool close_now = save_folder_ok(file_, ui_, text, Check1_->isChecked());
  Text1_->setText(QString::fromStdString(text));
  if (close_now) close();
}

void Form8::Command2_Click() { close(); }

}  // namespace stellacq
