// Picture1: the main window's image area. Paints the program's Picture (the
// frame as drawn by draw_frame) at one device pixel per picture pixel and
// reports mouse presses and moves in picture coordinates.
#pragma once

#include <QWidget>

namespace stellacq {

struct Picture;

class PictureBox final : public QWidget {
  Q_OBJECT
 public:
  PictureBox(const Picture& picture, QWidget* parent = nullptr);
  QSize sizeHint() const override;

 signals:
  void mouse_down(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, double x, double y);
  void mouse_move(double x, double y);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;

 private:
  const Picture& picture_;
};

}  // namespace stellacq
