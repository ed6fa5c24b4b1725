// The telescope window (Form10, "望遠鏡"): opens the mount's line, shows
// right ascension and declination twice a second and nudges the mount with
// four direction buttons. Modeless; the main window keeps one at a time.
//
// Reads and writes the telescope panel's state and the shared serial line
// through the panel's windowless handlers (telescope/telescope.h); the window
// only copies the fields into its labels and runs its 500 ms timer while
// polling is on.
#pragma once

#include <QWidget>

#include "telescope/telescope.h"

class QLabel;
class QPushButton;
class QTimer;

namespace stellacq {

class Form10 final : public QWidget {
  Q_OBJECT

 public:
  explicit Form10(TelescopePanel& panel, QWidget* parent = nullptr);
  ~Form10() override;

  void Command1_Click();  // RS232C Open
  void Command2_Click();  // Close
  void Command3_Click();  // Up
  void Command4_Click();  // Down
  void Command5_Click();  // Right
  void Command6_Click();  // Left
  void Timer1_Timer();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void Form_Load();
  void Form_Unload();
  void show_fields();
  void nudge(Direction direction);

  TelescopePanel& panel_;
  bool unloaded_ = false;
  QPushButton* Command1_;
  QPushButton* Command2_;
  QLabel* Label1_;
  QLabel* Label3_;
  QLabel* Label2_;
  QLabel* Label4_;
  QPushButton* Command3_;
  QPushButton* Command4_;
  QPushButton* Command6_;
  QPushButton* Command5_;
  QTimer* Timer1_;
};

}  // namespace stellacq
