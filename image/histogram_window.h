// The histogram window (Form9, "Histgram"): a 300-bar histogram of the
// light frame in which the user clicks a black point (left button) and a
// white point (any other button); OK stores the two levels and redraws the
// light frame in the main window, Cancel drops them.
//
// Reads the light frame and the display levels of the frame display; OK
// writes display_background/display_range, the level captions and the
// picture of the image area through it. The window never touches a device.
#pragma once

#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QWidget>

#include "image/frame_display.h"
#include "image/histogram.h"

namespace stellacq {

// The histogram area: 300 units across (one bar each), from 0 at the top to
// the scale height at the bottom, on a white ground.
class HistogramPicture final : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kUnits = 300;
  static constexpr int kPixelHeight = 200;

  explicit HistogramPicture(QWidget* parent = nullptr);

  void clear();
  void set_scale_height(std::int64_t scale_height) { scale_height_ = scale_height > 0 ? scale_height : 1; }
  // Green bar of bin i from the bottom up to the bin's count.
  void draw_bar(int bin, std::int64_t count);
  // Full-height line at horizontal position X (the column X rounds to).
  void draw_line(double X, QColor colour);
  const QImage& image() const { return image_; }

 signals:
  // Position in the area's horizontal units.
  void pressed(Qt::MouseButton button, double X);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;

 private:
  int pixel_row(double units) const;
  QImage image_;
  std::int64_t scale_height_ = 1;
};

class Form9 final : public QWidget {
  Q_OBJECT

 public:
  Form9(FrameDisplay& display, Interaction& ui, QWidget* parent = nullptr);

  void Picture1_MouseDown(Qt::MouseButton button, double X);
  void Command1_Click();
  void Command2_Click();

  const HistogramWindowState& state() const { return state_; }
  HistogramPicture* picture() const { return Picture1_; }

 signals:
  // OK stored new levels (and redrew the light frame when there is one);
  // the main window refreshes its menu captions and picture.
  void levels_applied();

 private:
  void Form_Load();
  void draw_histogram();

  FrameDisplay& display_;
  Interaction& ui_;
  HistogramWindowState state_;
  HistogramPicture* Picture1_;
  QLabel* Label1_;
  QLabel* Label2_;
  QLineEdit* Text1_;
  QLineEdit* Text2_;
  QPushButton* Command1_;
  QPushButton* Command2_;
};

}  // namespace stellacq
