// The tracking status window (Form6, "Tracking Stat."): the search span,
// aperture and threshold of the last guide-star measurement and its
// star/sky ratio. Opened by the lock click, closed by the release; it sits
// just right of the main window, at the top of the screen. Below them, while
// guiding steps cannot guide, a row tells how many frames went unguided and
// why (Label9, Label10), hidden while every step guides.
//
// Reads the tracking status values it is given; on opening writes the
// settings' span, aperture and threshold into them. No logic of its own.
#pragma once

#include <QWidget>

#include "config/settings.h"
#include "guiding/guide_state.h"

class QFrame;
class QLabel;

namespace stellacq {

class Form6 final : public QWidget {
  Q_OBJECT
 public:
  // `parent` is the main window, whose width places this window.
  Form6(TrackingStatusValues& values, const Settings& settings, QWidget* parent);

  // Copies the status values of the last measurement into the labels.
  void show_values();

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void Form_Load();

  TrackingStatusValues& values_;
  const Settings& settings_;
  QLabel* Label1_;
  QLabel* Label2_;
  QLabel* Label3_;
  QLabel* Label4_;
  QLabel* Label5_;
  QLabel* Label6_;
  QLabel* Label7_;
  QLabel* Label8_;
  QFrame* Line1_;
  QLabel* Label9_;
  QLabel* Label10_;
};

}  // namespace stellacq
