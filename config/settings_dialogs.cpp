// Form2, Form5 and Form7; see settings_dialogs.h.

#include "config/settings_dialogs.h"

#include <QFontDatabase>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QVBoxLayout>

#include "config/ini_file.h"
#include "config/settings_choices.h"
#include "program/program.h"

namespace stellacq {

namespace {

// Names a control after its role in the window: objectName and
// accessibleDescription carry the control name, accessibleName the caption.
template <typename W>
W* named(W* widget, const char* name, const QString& caption) {
  widget->setObjectName(QString::fromLatin1(name));
  widget->setAccessibleDescription(QString::fromLatin1(name));
  widget->setAccessibleName(caption);
  return widget;
}

QRadioButton* option(const char* name, const char* caption, QWidget* parent) {
  const QString text = QString::fromUtf8(caption);
  return named(new QRadioButton(text, parent), name, text);
}

QPushButton* button(const char* name, const char* caption, QWidget* parent) {
  const QString text = QString::fromUtf8(caption);
  return named(new QPushButton(text, parent), name, text);
}

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

SettingsDialog::SettingsDialog(Program& p, QWidget* parent) : QDialog(parent), p_(p) {
  setAttribute(Qt::WA_DeleteOnClose);
  setModal(false);
}

void SettingsDialog::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (const QScreen* s = screen()) {
    const QRect area = s->geometry();
    const QSize size = frameGeometry().size();
    move(area.x() + (area.width() - size.width()) / 2, area.y() + (area.height() - size.height()) / 2);
  }
}

void SettingsDialog::finish(bool saved) {
  if (!saved) {
    report_settings_write_failure(p_);
    return;
  }
  close();
}

Form2::Form2(Program& p, QWidget* parent) : SettingsDialog(p, parent) {
  name_window(this, "Form2", "Parallel port address");
  // The heading and the address columns line up only in a fixed-pitch font.
  setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  const QString heading = QString::fromLatin1("     data  stat cont");
  Label1 = named(new QLabel(heading, this), "Label1", heading);
  Option1 = option("Option1", " : 278  279  27a", this);
  Option2 = option("Option2", " : 378  379  37a", this);
  Option3 = option("Option3", " : 3bc  3bd  3be", this);
  Command1 = button("Command1", "OK", this);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(Label1);
  layout->addWidget(Option1);
  layout->addWidget(Option2);
  layout->addWidget(Option3);
  layout->addWidget(Command1, 0, Qt::AlignHCenter);

  check_choice(p.settings.parallel_port, {Option1, Option2, Option3});
  connect(Command1, &QPushButton::clicked, this, &Form2::Command1_Click);
}

void Form2::Command1_Click() {
  finish(confirm_parallel_port(p_, checked_choice({Option1, Option2, Option3})));
}

Form5::Form5(Program& p, QWidget* parent) : SettingsDialog(p, parent) {
  name_window(this, "Form5", "COM port address");
  Option1 = option("Option1", " COM1", this);
  Option2 = option("Option2", " COM2", this);
  Option3 = option("Option3", " COM3", this);
  Command1 = button("Command1", "OK", this);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(Option1);
  layout->addWidget(Option2);
  layout->addWidget(Option3);
  layout->addWidget(Command1, 0, Qt::AlignHCenter);

  check_choice(p.settings.com_port, {Option1, Option2, Option3});
  connect(Command1, &QPushButton::clicked, this, &Form5::Command1_Click);
}

void Form5::Command1_Click() { finish(confirm_com_port(p_, checked_choice({Option1, Option2, Option3}))); }

Form7::Form7(Program& p, QWidget* parent) : SettingsDialog(p, parent) {
  name_window(this, "Form7", "TU11/22 select");
  Frame1 =
      named(new QGroupBox(QStringLiteral("Control Unit"), this), "Frame1", QStringLiteral("Control Unit"));
  Frame2 = named(new QGroupBox(QStringLiteral("Camera Head"), this), "Frame2", QStringLiteral("Camera Head"));
  // Each frame is its own option group: radio buttons are exclusive among
  // the buttons of one parent.
  Option1 = option("Option1", "TU-11", Frame1);
  Option2 = option("Option2", "TU-22", Frame1);
  Option3 = option("Option3", "TX-11", Frame2);
  Option4 = option("Option4", "TX-22", Frame2);
  Command1 = button("Command1", "OK", this);
  Command2 = button("Command2", "Cancel", this);

  auto* unit_layout = new QVBoxLayout(Frame1);
  unit_layout->addWidget(Option1);
  unit_layout->addWidget(Option2);
  auto* head_layout = new QVBoxLayout(Frame2);
  head_layout->addWidget(Option3);
  head_layout->addWidget(Option4);
  auto* frames = new QHBoxLayout;
  frames->addWidget(Frame1);
  frames->addWidget(Frame2);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(Command1);
  buttons->addWidget(Command2);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(frames);
  layout->addLayout(buttons);

  (p.settings.unit_model == kModel11 ? Option1 : Option2)->setChecked(true);
  (p.settings.head_model == kModel11 ? Option3 : Option4)->setChecked(true);

  connect(Option1, &QRadioButton::clicked, this, &Form7::Option1_Click);
  connect(Option4, &QRadioButton::clicked, this, &Form7::Option4_Click);
  connect(Command1, &QPushButton::clicked, this, &Form7::Command1_Click);
  connect(Command2, &QPushButton::clicked, this, &Form7::Command2_Click);
}

void Form7::Option1_Click() { Option3->setChecked(true); }

void Form7::Option4_Click() { Option2->setChecked(true); }

void Form7::Command1_Click() { finish(confirm_models(p_, Option1->isChecked(), Option3->isChecked())); }

void Form7::Command2_Click() { close(); }

}  // namespace stellacq
