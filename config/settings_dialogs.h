// The three small settings dialogs of the camera and serial links:
// Form2 (parallel port), Form5 (COM port) and Form7 (control unit and camera
// head models). Each is non-modal, centres itself on the screen when shown,
// reads the settings record when it is created, and on OK stores its choice,
// writes the settings file and closes. When the file cannot be written the
// user is told (the new choice stays in effect for this run) and the dialog
// stays open, so OK can be tried again; closing the window gives up.
//
// Shared state: reads and writes the settings record of the settings file
// they are given and writes that file; Form2 also writes the port
// addresses. No device is touched here.
#pragma once

#include <QDialog>

#include "config/settings_store.h"
#include "core/interaction.h"

class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;

namespace stellacq {

// Base of the three dialogs: centring on the screen when shown.
class SettingsDialog : public QDialog {
  Q_OBJECT
 public:
  SettingsDialog(const SettingsFile& file, Interaction& ui, QWidget* parent);

 protected:
  void showEvent(QShowEvent* event) override;
  // Shows the write-failure message when `saved` is false, else closes.
  void finish(bool saved);
  SettingsFile file_;
  Interaction& ui_;
};

// "Parallel port address": the three base addresses 0x278, 0x378, 0x3BC.
class Form2 : public SettingsDialog {
  Q_OBJECT
 public:
  Form2(const SettingsFile& file, PortAddresses& ports, Interaction& ui, QWidget* parent = nullptr);
  void Command1_Click();

 private:
  PortAddresses& ports_;
  QLabel* Label1_;
  QRadioButton* Option1_;
  QRadioButton* Option2_;
  QRadioButton* Option3_;
  QPushButton* Command1_;
};

// "COM port address": COM1..COM3 of the mount controller.
class Form5 : public SettingsDialog {
  Q_OBJECT
 public:
  Form5(const SettingsFile& file, Interaction& ui, QWidget* parent = nullptr);
  void Command1_Click();

 private:
  QRadioButton* Option1_;
  QRadioButton* Option2_;
  QRadioButton* Option3_;
  QPushButton* Command1_;
};

// "TU11/22 select": control unit TU-11/TU-22 and camera head TX-11/TX-22.
// A TU-11 unit only drives a TX-11 head, and a TX-22 head needs a TU-22
// unit, so choosing either also selects its partner.
class Form7 : public SettingsDialog {
  Q_OBJECT
 public:
  Form7(const SettingsFile& file, Interaction& ui, QWidget* parent = nullptr);
  void Option1_Click();
  void Option4_Click();
  void Command1_Click();
  void Command2_Click();

 private:
  QGroupBox* Frame1_;
  QGroupBox* Frame2_;
  QRadioButton* Option1_;
  QRadioButton* Option2_;
  QRadioButton* Option3_;
  QRadioButton* Option4_;
  QPushButton* Command1_;
  QPushButton* Command2_;
};

}  // namespace stellacq
