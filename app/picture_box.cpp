#include "app/picture_box.h"

#include <QImage>
#include <QMouseEvent>
#include <QPainter>

#include "image/frames.h"

namespace stellacq {

PictureBox::PictureBox(const Picture& picture, QWidget* parent) : QWidget(parent), picture_(picture) {
  setFixedSize(Picture::kWidth, Picture::kHeight);
  setMouseTracking(true);
  setAttribute(Qt::WA_OpaquePaintEvent);
}

QSize PictureBox::sizeHint() const { return {Picture::kWidth, Picture::kHeight}; }

void PictureBox::paintEvent(QPaintEvent*) {
  // The picture is wrapped, not copied: it is painted in one go.
  const QImage image(reinterpret_cast<const uchar*>(picture_.pixels.data()), Picture::kWidth,
                     Picture::kHeight, Picture::kWidth * 4, QImage::Format_RGB32);
  QPainter painter(this);
  painter.drawImage(0, 0, image);
}

void PictureBox::mousePressEvent(QMouseEvent* event) {
  const QPointF at = event->position();
  emit mouse_down(event->button(), event->modifiers(), at.x(), at.y());
}

void PictureBox::mouseMoveEvent(QMouseEvent* event) {
  const QPointF at = event->position();
  emit mouse_move(at.x(), at.y());
}

}  // namespace stellacq
