#include "exposure/program_window.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

#include "exposure/program_shooting.h"
#include "window_kit/window_support.h"

namespace stellacq {

namespace {

// Object name and accessible description carry the control's name, the
// accessible name its caption.
// A field is known to assistive tools by the caption of the label before it.
QLineEdit* field(const char* name, const QLabel* caption) {
  auto* f = named(new QLineEdit, name, caption->text());
  f->setMaximumWidth(80);
  return f;
}

}  // namespace

Form11::Form11(ProgramShooting& shooting, QWidget* parent) : QDialog(parent), shooting_(shooting) {
  const QString title = QStringLiteral("プログラム撮影");
  named(this, "Form11", title);
  setWindowTitle(title);
  setAttribute(Qt::WA_DeleteOnClose);
  setModal(false);

  Label1_ = captioned<QLabel>("Label1", "ｼｬｯﾀｰ速度");
  Label2_ = captioned<QLabel>("Label2", "秒");
  Label3_ = captioned<QLabel>("Label3", "撮影間隔");
  Label4_ = captioned<QLabel>("Label4", "秒");
  Label5_ = captioned<QLabel>("Label5", "撮影枚数");
  Label6_ = captioned<QLabel>("Label6", "枚");
  Label7_ = captioned<QLabel>("Label7", "左の条件を");
  Label8_ = captioned<QLabel>("Label8", " 回、繰り返す");
  Label9_ = captioned<QLabel>("Label9", "次の連続撮影までの待ち時間");
  Label10_ = captioned<QLabel>("Label10", "秒");
  Text1_ = field("Text1", Label1_);
  Text2_ = field("Text2", Label3_);
  Text3_ = field("Text3", Label5_);
  Text4_ = field("Text4", Label7_);
  Text5_ = field("Text5", Label9_);

  const QString frame_caption = QStringLiteral("連続撮影条件");
  Frame1_ = named(new QGroupBox(frame_caption), "Frame1", frame_caption);
  auto* conditions = new QGridLayout(Frame1_);
  const std::tuple<QLabel*, QLineEdit*, QLabel*> rows[] = {
      {Label1_, Text1_, Label2_}, {Label3_, Text2_, Label4_}, {Label5_, Text3_, Label6_}};
  int row = 0;
  for (const auto& [before, edit, after] : rows) {
    conditions->addWidget(before, row, 0);
    conditions->addWidget(edit, row, 1);
    conditions->addWidget(after, row, 2);
    ++row;
  }

  auto* repeat = new QHBoxLayout;
  repeat->addWidget(Frame1_);
  repeat->addWidget(Label7_);
  repeat->addWidget(Text4_);
  repeat->addWidget(Label8_);

  auto* wait = new QHBoxLayout;
  wait->addWidget(Label9_);
  wait->addWidget(Text5_);
  wait->addWidget(Label10_);
  wait->addStretch();

  const QString execute = QStringLiteral("実行");
  const QString cancel = QStringLiteral("キャンセル");
  Command1_ = named(new QPushButton(execute), "Command1", execute);
  Command2_ = named(new QPushButton(cancel), "Command2", cancel);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(Command1_);
  buttons->addWidget(Command2_);

  auto* outer = new QVBoxLayout(this);
  outer->addLayout(repeat);
  outer->addLayout(wait);
  outer->addLayout(buttons);

  connect(Command1_, &QPushButton::clicked, this, &Form11::Command1_Click);
  connect(Command2_, &QPushButton::clicked, this, &Form11::Command2_Click);
  Form_Load();
}

void Form11::Form_Load() {
  const ProgramFields fields = program_fields_from_settings(shooting_.settings());
  QLineEdit* const edits[5] = {Text1_, Text2_, Text3_, Text4_, Text5_};
  for (int i = 0; i < 5; ++i) edits[i]->setText(QString::fromStdString(fields[i]));
}

void Form11::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  centre_on_screen(this);
}

void Form11::Command1_Click() {
  if (running_) return;
  const ProgramFields fields = {Text1_->text().toStdString(), Text2_->text().toStdString(),
                                Text3_->text().toStdString(), Text4_->text().toStdString(),
                                Text5_->text().toStdString()};
  QPointer<Form11> self(this);
  running_ = true;
  Command1_->setEnabled(false);
  bool closes = false;
  const auto program = [&] { closes = shooting_.run_program(fields); };
  if (run_handler)
    run_handler(program);
  else
    program();
  if (!self) return;
  running_ = false;
  Command1_->setEnabled(true);
  if (closes || isHidden()) close();
}

void Form11::Command2_Click() {
  shooting_.cancel_program();
  // The execute handler still on the stack closes the window when the
  // program has ended; until then the window only disappears.
  if (running_)
    hide();
  else
    close();
}

void Form11::closeEvent(QCloseEvent* event) {
  if (!running_) {
    event->accept();
    return;
  }
  // Closing the window of a running program cancels it, as the button does.
  event->ignore();
  Command2_Click();
}

}  // namespace stellacq
