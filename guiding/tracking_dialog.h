// The tracking settings dialog (Form4, "Tracking Factor Setting"): the
// direction, switch, factor and repeat of each mount axis, the star
// measurement's span, aperture and threshold, and the two display
// corrections of a guided series. Non-modal, centred on the screen.
//
// The repeat counts (Text6, Text7) take effect while they are typed and the
// fields are rewritten with the stored value at once; everything else is
// stored only by OK, which also writes the settings file. Cancel closes.
//
// Shared state: reads and writes the settings record of the settings file
// it is given and writes that file. No device is touched here.
#pragma once

#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "config/settings_dialogs.h"
#include "guiding/tracking_settings.h"

namespace stellacq {

class Form4 final : public SettingsDialog {
  Q_OBJECT

 public:
  Form4(const SettingsFile& file, Interaction& ui, QWidget* parent = nullptr);

  void Check1_Click();
  void Check2_Click();
  void Check3_Click();
  void Check4_Click();
  void Text1_Change();
  void Text2_Change();
  void Text3_Change();
  void Text4_Change();
  void Text5_Change();
  void Text6_Change();
  void Text7_Change();
  void Command1_Click();
  void Command2_Click();

 private:
  void Form_Load();
  // Shows the X or Y pair as the reversal flag says: one box ticked.
  void show_direction(QCheckBox* normal, QCheckBox* reversed, std::int16_t reverse);
  // Puts the rewritten text into a field when it differs from what is there.
  static void rewrite(QLineEdit* field, const std::string& text);

  TrackingEdits edits_;

  QLabel* Label1_;
  QLabel* Label2_;
  QLabel* Label3_;
  QLabel* Label4_;
  QLabel* Label5_;
  QLabel* Label6_;
  QLabel* Label7_;
  QLabel* Label8_;
  QLabel* Label9_;
  QCheckBox* Check1_;
  QCheckBox* Check2_;
  QCheckBox* Check3_;
  QCheckBox* Check4_;
  QCheckBox* Check5_;
  QCheckBox* Check6_;
  QCheckBox* Check7_;
  QCheckBox* Check8_;
  QCheckBox* Check9_;
  QLineEdit* Text1_;
  QLineEdit* Text2_;
  QLineEdit* Text3_;
  QLineEdit* Text4_;
  QLineEdit* Text5_;
  QLineEdit* Text6_;
  QLineEdit* Text7_;
  QPushButton* Command1_;
  QPushButton* Command2_;
  QFrame* Line2_;
  QFrame* Line3_;
};

}  // namespace stellacq
