// Form11, "プログラム撮影": the program of repeated series is typed here and
// run with the execute button. The window only reads and writes its fields;
// checking, storing and running the program is program_shooting.h's.
//
// The window stays open while its program runs (the execute handler runs
// the whole program, yielding) and closes when the program ends, after a
// failed check, or at once on the cancel button. A window asked to close
// while its program still runs hides itself and is closed by the execute
// handler when the program has ended.
#pragma once

#include <QDialog>
#include <functional>

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace stellacq {

class ProgramShooting;

class Form11 final : public QDialog {
  Q_OBJECT
 public:
  Form11(ProgramShooting& shooting, QWidget* parent = nullptr);

  // Runs the execute button's program as one handler of the main window
  // (so the main window knows a handler is running and shows its fields
  // afterwards). Without it the program runs directly.
  std::function<void(const std::function<void()>&)> run_handler;

  void Form_Load();
  void Command1_Click();
  void Command2_Click();

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  ProgramShooting& shooting_;
  bool running_ = false;  // the execute handler runs the program

  QGroupBox* Frame1_ = nullptr;
  QLabel* Label1_ = nullptr;
  QLabel* Label2_ = nullptr;
  QLabel* Label3_ = nullptr;
  QLabel* Label4_ = nullptr;
  QLabel* Label5_ = nullptr;
  QLabel* Label6_ = nullptr;
  QLabel* Label7_ = nullptr;
  QLabel* Label8_ = nullptr;
  QLabel* Label9_ = nullptr;
  QLabel* Label10_ = nullptr;
  QLineEdit* Text1_ = nullptr;
  QLineEdit* Text2_ = nullptr;
  QLineEdit* Text3_ = nullptr;
  QLineEdit* Text4_ = nullptr;
  QLineEdit* Text5_ = nullptr;
  QPushButton* Command1_ = nullptr;
  QPushButton* Command2_ = nullptr;
};

}  // namespace stellacq
