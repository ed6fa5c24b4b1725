// The graph window (Form12, "horizontal graph"): the line profile of the
// light frame around the point Shift-clicked in the image area, with three
// framed button pairs that move the row (Line), zoom the plot (Zoom) and
// shift it (Level).
//
// Reads the light frame and scan_max/scan_min, reads and moves the profile
// point. The window never touches a
// device and does not follow new frames: it redraws on its buttons.
#pragma once

#include <QGroupBox>
#include <QPointer>
#include <QPushButton>
#include <QWidget>
#include <functional>

#include "image/profile.h"

namespace stellacq {

// The plot area: paints a ProfilePlot at one device pixel a plot pixel.
class ProfilePicture final : public QWidget {
  Q_OBJECT

 public:
  ProfilePicture(const ProfilePlot& plot, QWidget* parent = nullptr);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  const ProfilePlot& plot_;
};

class Form12 final : public QWidget {
  Q_OBJECT

 public:
  Form12(const Frames& frames, ProfilePoint& point, QWidget* parent = nullptr);

  void Command1_Click();
  void Command2_Click();
  void Command3_Click();
  void Command4_Click();
  void Command5_Click();
  void Command6_Click();

  const ProfileGraph& graph() const { return graph_; }
  const ProfilePlot& plot() const { return plot_; }

 private:
  void Form_Load();
  // Clears the plot area and draws the profile again.
  void redraw();

  const Frames& frames_;
  ProfilePoint& point_;
  ProfileGraph graph_;
  ProfilePlot plot_;
  ProfilePicture* Picture1_;
  QGroupBox* Frame1_;
  QGroupBox* Frame2_;
  QGroupBox* Frame3_;
  QPushButton* Command1_;
  QPushButton* Command2_;
  QPushButton* Command3_;
  QPushButton* Command4_;
  QPushButton* Command5_;
  QPushButton* Command6_;
};

// True for the keyboard state of a profile click: Shift alone, neither Ctrl
// nor Alt held. Any mouse button counts.
bool is_profile_click(Qt::KeyboardModifiers modifiers);

// The Shift-click on the image area at (X, Y) of a W x H scale extent:
// closes the graph window kept in `slot` if one is open, sets the profile
// point to the clicked frame pixel and keeps in `slot` a fresh graph window
// from `open_window`, shown without waiting for it. Does nothing without a
// light frame.
void open_line_profile(const Frames& frames, ProfilePoint& point, QPointer<QWidget>& slot,
                       const std::function<QWidget*()>& open_window, double X, double Y, double W, double H);

}  // namespace stellacq
