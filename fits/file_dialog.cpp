#include "fits/file_dialog.h"

#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

#include "fits/file_operations.h"
#include "fits/folder_lists.h"
#include "window_kit/window_support.h"

namespace stellacq {

namespace {

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

Form3::Form3(const HeldFrames& held, FileState& file, const StatusLine& status, QWidget* parent)
    : QWidget(parent, Qt::Window), held_(held), file_(file), status_(status) {
  named(this, "Form3");
  setFixedSize(312, 264);
  Text1_ = place_control<QLineEdit>(this, "Text1", "", 8, 8, 297, 18);
  File1_ = place_control<QListWidget>(this, "File1", "*.fit;*.fts;*.fits", 8, 32, 145, 222);
  Command1_ = place_control<QPushButton>(this, "Command1", "OK", 160, 32, 65, 25);
  Command1_->setText("OK");
  Command2_ = place_control<QPushButton>(this, "Command2", "Cancel", 240, 32, 65, 25);
  Command2_->setText("Cancel");
  Drive1_ = place_control<QComboBox>(this, "Drive1", "", 160, 64, 145, 20);
  Dir1_ = place_control<QListWidget>(this, "Dir1", "", 160, 88, 145, 160);

  connect(Drive1_, &QComboBox::currentIndexChanged, this, [this] { Drive1_Change(); });
  connect(Dir1_, &QListWidget::itemActivated, this, [this] { Dir1_Change(); });
  connect(File1_, &QListWidget::itemClicked, this, [this] { File1_Click(); });
  connect(File1_, &QListWidget::itemActivated, this, [this] { File1_Click(); });
  connect(Command1_, &QPushButton::clicked, this, [this] { Command1_Click(); });
  connect(Command2_, &QPushButton::clicked, this, [this] { Command2_Click(); });

  show_folder(QDir::currentPath());
  Form_Load();
}

void Form3::set_operation(int file_mode) {
  mode_ = file_mode;
  setWindowTitle(caption_for(file_mode));
}

void Form3::Form_Load() {
  status_.ui.beep();
  centre_on_screen(this);
}

void Form3::show_folder(const QString& folder) {
  folder_ = QDir(folder).absolutePath();
  fill_drive_list(Drive1_, folder_);
  fill_folder_list(Dir1_, folder_);
  fill_fits_file_list(File1_, folder_);
}

void Form3::Drive1_Change() {
  show_folder(Drive1_->currentData().toString());
  file_name_set();
}

void Form3::Dir1_Change() {
  const QListWidgetItem* item = Dir1_->currentItem();
  if (item) show_folder(item->data(Qt::UserRole).toString());
  file_name_set();
}

void Form3::File1_Click() { file_name_set(); }

void Form3::file_name_set() {
  // Browsing moves the program's current folder; later dialogs start there.
  QDir::setCurrent(folder_);
  const QListWidgetItem* selected = File1_->currentItem();
  const QString name = selected && selected->isSelected() ? selected->text() : QString();
  Text1_->setText(QString::fromStdString(dialog_path_text(folder_.toStdString(), name.toStdString())));
}

void Form3::Command1_Click() {
  if (file_dialog_ok(held_, file_, status_, mode_, Text1_->text().toStdString())) close();
}

void Form3::Command2_Click() { close(); }

}  // namespace stellacq
