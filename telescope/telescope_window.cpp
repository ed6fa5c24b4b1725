#include "telescope/telescope_window.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "window_kit/window_support.h"

namespace stellacq {

namespace {

constexpr int kPollIntervalMs = 500;
// The value fields keep one width and one line whatever the mount sends, so
// the buttons below them never move under the pointer.
constexpr int kFieldWidth = 120;

void show_reply(QLabel* label, const std::string& text) {
  const QString full = QString::fromStdString(text);
  const QString shown = label->fontMetrics().elidedText(full, Qt::ElideRight, kFieldWidth);
  if (label->text() != shown) label->setText(shown);
}

}  // namespace

Form10::Form10(TelescopePanel& panel, QWidget* parent) : QWidget(parent, Qt::Window), panel_(panel) {
  const QString title = QStringLiteral("望遠鏡");
  setWindowTitle(title);
  named(this, "Form10", title);

  Command1_ = captioned<QPushButton>("Command1", "RS232C Open");
  Command2_ = captioned<QPushButton>("Command2", "Close");
  Label1_ = captioned<QLabel>("Label1", "R.A.");
  Label3_ = value_label(new QLabel(QStringLiteral("00:00:00")), "Label3", Label1_);
  Label2_ = captioned<QLabel>("Label2", "R.D.");
  Label4_ = value_label(new QLabel(QStringLiteral("+00d00'")), "Label4", Label2_);
  Command3_ = captioned<QPushButton>("Command3", "Up");
  Command4_ = captioned<QPushButton>("Command4", "Down");
  Command6_ = captioned<QPushButton>("Command6", "Left");
  Command5_ = captioned<QPushButton>("Command5", "Right");
  for (QLabel* field : {Label3_, Label4_}) {
    field->setFixedWidth(kFieldWidth);
    field->setWordWrap(false);
  }
  Timer1_ = new QTimer(this);
  Timer1_->setObjectName(QStringLiteral("Timer1"));
  Timer1_->setInterval(kPollIntervalMs);

  // The link buttons stacked at the top left, the two position rows under
  // them, the direction buttons as a cross at the bottom.
  auto* layout = new QVBoxLayout(this);
  auto* links = new QVBoxLayout;
  links->addWidget(Command1_);
  links->addWidget(Command2_);
  auto* top = new QHBoxLayout;
  top->addLayout(links);
  top->addStretch();
  layout->addLayout(top);
  auto* rows = new QGridLayout;
  rows->addWidget(Label1_, 0, 0);
  rows->addWidget(Label3_, 0, 1);
  rows->addWidget(Label2_, 1, 0);
  rows->addWidget(Label4_, 1, 1);
  layout->addLayout(rows);
  auto* cross = new QGridLayout;
  cross->addWidget(Command3_, 0, 1);
  cross->addWidget(Command6_, 1, 0);
  cross->addWidget(Command5_, 1, 2);
  cross->addWidget(Command4_, 2, 1);
  layout->addLayout(cross);

  connect(Command1_, &QPushButton::clicked, this, &Form10::Command1_Click);
  connect(Command2_, &QPushButton::clicked, this, &Form10::Command2_Click);
  connect(Command3_, &QPushButton::clicked, this, &Form10::Command3_Click);
  connect(Command4_, &QPushButton::clicked, this, &Form10::Command4_Click);
  connect(Command5_, &QPushButton::clicked, this, &Form10::Command5_Click);
  connect(Command6_, &QPushButton::clicked, this, &Form10::Command6_Click);
  connect(Timer1_, &QTimer::timeout, this, &Form10::Timer1_Timer);
  Form_Load();
}

Form10::~Form10() { Form_Unload(); }

void Form10::Form_Load() {
  panel_.telescope_window_load();
  show_fields();
}

void Form10::Form_Unload() {
  if (unloaded_) return;
  unloaded_ = true;
  Timer1_->stop();
  panel_.telescope_window_close();
}

void Form10::show_fields() {
  const TelescopeState& t = panel_.state();
  show_reply(Label3_, t.ra_text);
  show_reply(Label4_, t.dec_text);
  if (!t.polling || unloaded_) {
    Timer1_->stop();
  } else if (!Timer1_->isActive()) {
    Timer1_->start();
  }
}

void Form10::Command1_Click() {
  panel_.telescope_window_open();
  show_fields();
}

void Form10::Command2_Click() {
  Form_Unload();
  close();
}

void Form10::nudge(Direction direction) {
  // The timer stops for the nudge and starts afresh after it, so the next
  // tick comes one interval later.
  Timer1_->stop();
  QPointer<Form10> self(this);
  panel_.telescope_window_nudge(direction);
  if (self) show_fields();
}

void Form10::Command3_Click() { nudge(Direction::Up); }
void Form10::Command4_Click() { nudge(Direction::Down); }
void Form10::Command5_Click() { nudge(Direction::Right); }
void Form10::Command6_Click() { nudge(Direction::Left); }

void Form10::Timer1_Timer() {
  // The tick yields; the window may be closed meanwhile.
  QPointer<Form10> self(this);
  panel_.telescope_window_tick();
  if (self) show_fields();
}

void Form10::closeEvent(QCloseEvent* event) {
  Form_Unload();
  QWidget::closeEvent(event);
}

}  // namespace stellacq
