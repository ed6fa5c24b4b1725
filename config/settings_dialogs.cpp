// Form2, Form5 and Form7; see settings_dialogs.h.

#include "config/settings_dialogs.h"

#include <QFontDatabase>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "config/ini_file.h"
#include "config/settings_choices.h"
#include "config/settings_store.h"
#include "window_kit/window_support.h"

namespace stellacq {

namespace {

void name_window(QWidget* window, const char* name, const char* caption) {
  const QString text = QString::fromUtf8(caption);
  window->setWindowTitle(text);
  named(window, name, text);
}

// The port dialogs' three options stand for the settings 1, 2 and 3; any
// other setting selects none, and no selection reads as 0.
void check_choice(std::int16_t setting, QRadioButton* const (&options)[3]) {
  if (setting >= 1 && setting <= 3) options[setting - 1]->setChecked(true);
}

int checked_choice(QRadioButton* const (&options)[3]) {
  for (int i = 0; i < 3; ++i)
    if (options[i]->isChecked()) return i + 1;
  return 0;
}

}  // namespace

SettingsDialog::SettingsDialog(const SettingsFile& file, Interaction& ui, QWidget* parent)
    : QDialog(parent), file_(file), ui_(ui) {
  setAttribute(Qt::WA_DeleteOnClose);
  setModal(false);
}

void SettingsDialog::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  centre_on_screen(this);
}

void SettingsDialog::finish(bool saved) {
  if (!saved) {
    report_settings_write_failure(file_, ui_);
    return;
  }
  close();
}

Form2::Form2(const SettingsFile& file, PortAddresses& ports, Interaction& ui, QWidget* parent)
    : SettingsDialog(file, ui, parent), ports_(ports) {
  name_window(this, "Form2", "Parallel port address");
  // The heading and the address columns line up only in a fixed-pitch font.
  setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  const QString heading = QString::fromLatin1("     data  stat cont");
  Label1_ = named(new QLabel(heading, this), "Label1", heading);
  Option1_ = captioned<QRadioButton>("Option1", " : 278  279  27a", this);
  Option2_ = captioned<QRadioButton>("Option2", " : 378  379  37a", this);
  Option3_ = captioned<QRadioButton>("Option3", " : 3bc  3bd  3be", this);
  Command1_ = captioned<QPushButton>("Command1", "OK", this);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(Label1_);
  layout->addWidget(Option1_);
  layout->addWidget(Option2_);
  layout->addWidget(Option3_);
  layout->addWidget(Command1_, 0, Qt::AlignHCenter);

  check_choice(file.settings.parallel_port, {Option1_, Option2_, Option3_});
  connect(Command1_, &QPushButton::clicked, this, &Form2::Command1_Click);
}

void Form2::Command1_Click() {
  finish(confirm_parallel_port(file_, ports_, ui_, checked_choice({Option1_, Option2_, Option3_})));
}

Form5::Form5(const SettingsFile& file, Interaction& ui, QWidget* parent) : SettingsDialog(file, ui, parent) {
  name_window(this, "Form5", "COM port address");
  Option1_ = captioned<QRadioButton>("Option1", " COM1", this);
  Option2_ = captioned<QRadioButton>("Option2", " COM2", this);
  Option3_ = captioned<QRadioButton>("Option3", " COM3", this);
  Command1_ = captioned<QPushButton>("Command1", "OK", this);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(Option1_);
  layout->addWidget(Option2_);
  layout->addWidget(Option3_);
  layout->addWidget(Command1_, 0, Qt::AlignHCenter);

  check_choice(file.settings.com_port, {Option1_, Option2_, Option3_});
  connect(Command1_, &QPushButton::clicked, this, &Form5::Command1_Click);
}

void Form5::Command1_Click() {
  finish(confirm_com_port(file_, ui_, checked_choice({Option1_, Option2_, Option3_})));
}

Form7::Form7(const SettingsFile& file, Interaction& ui, QWidget* parent) : SettingsDialog(file, ui, parent) {
  name_window(this, "Form7", "TU11/22 select");
  Frame1_ =
      named(new QGroupBox(QStringLiteral("Control Unit"), this), "Frame1", QStringLiteral("Control Unit"));
  Frame2_ =
      named(new QGroupBox(QStringLiteral("Camera Head"), this), "Frame2", QStringLiteral("Camera Head"));
  // Each frame is its own option group: radio buttons are exclusive among
  // the buttons of one parent.
  Option1_ = captioned<QRadioButton>("Option1", "TU-11", Frame1_);
  Option2_ = captioned<QRadioButton>("Option2", "TU-22", Frame1_);
  Option3_ = captioned<QRadioButton>("Option3", "TX-11", Frame2_);
  Option4_ = captioned<QRadioButton>("Option4", "TX-22", Frame2_);
  Command1_ = captioned<QPushButton>("Command1", "OK", this);
  Command2_ = captioned<QPushButton>("Command2", "Cancel", this);

  auto* unit_layout = new QVBoxLayout(Frame1_);
  unit_layout->addWidget(Option1_);
  unit_layout->addWidget(Option2_);
  auto* head_layout = new QVBoxLayout(Frame2_);
  head_layout->addWidget(Option3_);
  head_layout->addWidget(Option4_);
  auto* frames = new QHBoxLayout;
  frames->addWidget(Frame1_);
  frames->addWidget(Frame2_);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(Command1_);
  buttons->addWidget(Command2_);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(frames);
  layout->addLayout(buttons);

  (file.settings.unit_model == kModel11 ? Option1_ : Option2_)->setChecked(true);
  (file.settings.head_model == kModel11 ? Option3_ : Option4_)->setChecked(true);

  connect(Option1_, &QRadioButton::clicked, this, &Form7::Option1_Click);
  connect(Option4_, &QRadioButton::clicked, this, &Form7::Option4_Click);
  connect(Command1_, &QPushButton::clicked, this, &Form7::Command1_Click);
  connect(Command2_, &QPushButton::clicked, this, &Form7::Command2_Click);
}

void Form7::Option1_Click() { Option3_->setChecked(true); }

void Form7::Option4_Click() { Option2_->setChecked(true); }

void Form7::Command1_Click() {
  finish(confirm_models(file_, ui_, Option1_->isChecked(), Option3_->isChecked()));
}

void Form7::Command2_Click() { close(); }

}  // namespace stellacq
