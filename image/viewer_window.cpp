// The viewer (Form13) and its image area; see viewer_window.h. The window
// holds no logic of its own: zoom and pan are ZoomView, the picture
// render_view, the readout cursor_readout, the measurement measure_star.
#include "image/viewer_window.h"

#include <QApplication>
#include <QCursor>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
#include <utility>

#include "image/auto_level.h"
#include "image/cursor.h"
#include "window_kit/window_support.h"

namespace stellacq {

namespace {

constexpr int kWheelNotch = 120;  // eighths of a degree: one step of a mouse wheel
constexpr int kCrossArm = 7;      // screen pixels
const QColor kGuideGreen(0, 200, 0);
const QColor kCrossRed(255, 40, 40);

const char* frame_name(DisplaySource source) {
  switch (source) {
    case DisplaySource::Dark:
      return "ダークフレーム";
    case DisplaySource::Flat:
      return "フラットフィールド";
    case DisplaySource::Light:
      break;
  }
  return "ライトフレーム";
}

}  // namespace

// ---- the image area ----

ViewerArea::ViewerArea(const GreyFrame& grey, ZoomView& view, QWidget* parent)
    : QAbstractScrollArea(parent), grey_(grey), view_(view) {
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  setFocusPolicy(Qt::StrongFocus);
  viewport()->setMouseTracking(true);
  viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
  viewport()->setCursor(Qt::CrossCursor);
  horizontalScrollBar()->setSingleStep(20);
  verticalScrollBar()->setSingleStep(20);
}

void ViewerArea::view_changed() {
  syncing_ = true;
  horizontalScrollBar()->setRange(0, view_.max_scroll_x());
  horizontalScrollBar()->setPageStep(std::max(1, view_.viewport_width()));
  horizontalScrollBar()->setValue(view_.scroll_x());
  verticalScrollBar()->setRange(0, view_.max_scroll_y());
  verticalScrollBar()->setPageStep(std::max(1, view_.viewport_height()));
  verticalScrollBar()->setValue(view_.scroll_y());
  syncing_ = false;
  viewport()->update();
}

void ViewerArea::set_cross(std::optional<ViewPoint> frame_point) {
  cross_ = frame_point;
  viewport()->update();
}

void ViewerArea::paintEvent(QPaintEvent*) {
  const QSize size = viewport()->size();
  if (canvas_.size() != size) canvas_ = QImage(size, QImage::Format_RGB32);
  if (canvas_.isNull()) return;
  render_view(grey_, view_, reinterpret_cast<std::uint32_t*>(canvas_.bits()),
              static_cast<int>(canvas_.bytesPerLine() / 4));
  QPainter painter(viewport());
  painter.drawImage(0, 0, canvas_);
  if (grey_.width == 0) return;
  if (guide_window_) {
    const ViewPoint a =
        view_.to_screen({static_cast<double>(guide_window_->left), static_cast<double>(guide_window_->top)});
    const ViewPoint b = view_.to_screen({guide_window_->right + 1.0, guide_window_->bottom + 1.0});
    painter.setPen(QPen(kGuideGreen, 1));
    painter.drawRect(QRectF(QPointF(a.x, a.y), QPointF(b.x, b.y)).adjusted(0, 0, -1, -1));
  }
  if (cross_) {
    // The centroid is in pixel-centre coordinates.
    const ViewPoint c = view_.to_screen({cross_->x + 0.5, cross_->y + 0.5});
    painter.setPen(QPen(kCrossRed, 1));
    painter.drawLine(QPointF(c.x - kCrossArm, c.y), QPointF(c.x + kCrossArm, c.y));
    painter.drawLine(QPointF(c.x, c.y - kCrossArm), QPointF(c.x, c.y + kCrossArm));
  }
}

void ViewerArea::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  view_.set_viewport(viewport()->width(), viewport()->height());
  view_changed();
  emit zoom_changed();  // a fitted frame changes its zoom with the window
}

void ViewerArea::scrollContentsBy(int, int) {
  if (syncing_) return;
  view_.scroll_to(horizontalScrollBar()->value(), verticalScrollBar()->value());
  viewport()->update();
}

void ViewerArea::zoom_step(bool in, ViewPoint anchor) {
  if (in)
    view_.zoom_in(anchor);
  else
    view_.zoom_out(anchor);
  view_changed();
  emit zoom_changed();
}

void ViewerArea::wheelEvent(QWheelEvent* event) {
  // A fine-grained wheel or touchpad adds up to whole steps.
  wheel_rest_ += event->angleDelta().y();
  const QPointF at = event->position();
  while (wheel_rest_ >= kWheelNotch) {
    wheel_rest_ -= kWheelNotch;
    zoom_step(true, {at.x(), at.y()});
  }
  while (wheel_rest_ <= -kWheelNotch) {
    wheel_rest_ += kWheelNotch;
    zoom_step(false, {at.x(), at.y()});
  }
  event->accept();
}

void ViewerArea::keyPressEvent(QKeyEvent* event) {
  // Keys zoom around the pointer when it is over the picture, else around
  // the middle.
  QPointF at = viewport()->mapFromGlobal(QCursor::pos());
  if (!viewport()->rect().contains(at.toPoint()))
    at = QPointF(viewport()->width() / 2.0, viewport()->height() / 2.0);
  switch (event->key()) {
    case Qt::Key_Plus:
    case Qt::Key_Equal:
      zoom_step(true, {at.x(), at.y()});
      break;
    case Qt::Key_Minus:
      zoom_step(false, {at.x(), at.y()});
      break;
    case Qt::Key_1:
      view_.set_step(0, {at.x(), at.y()});
      view_changed();
      emit zoom_changed();
      break;
    case Qt::Key_0:
      view_.fit();
      view_changed();
      emit zoom_changed();
      break;
    default:
      QAbstractScrollArea::keyPressEvent(event);
  }
}

void ViewerArea::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  pressed_ = true;
  dragging_ = false;
  press_at_ = last_drag_ = event->position().toPoint();
}

void ViewerArea::mouseMoveEvent(QMouseEvent* event) {
  const QPoint at = event->position().toPoint();
  if (pressed_ && !dragging_ && (at - press_at_).manhattanLength() >= QApplication::startDragDistance()) {
    dragging_ = true;
    viewport()->setCursor(Qt::ClosedHandCursor);
  }
  if (dragging_) {
    view_.pan(at.x() - last_drag_.x(), at.y() - last_drag_.y());
    last_drag_ = at;
    view_changed();
  }
  const ViewPoint f = view_.to_frame({at.x() + 0.5, at.y() + 0.5});
  emit pointer_moved(f.x, f.y);
}

void ViewerArea::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton || !pressed_) return;
  pressed_ = false;
  if (dragging_) {
    dragging_ = false;
    viewport()->setCursor(Qt::CrossCursor);
    return;
  }
  const ViewPoint f = view_.to_frame({press_at_.x() + 0.5, press_at_.y() + 0.5});
  emit clicked(f.x, f.y);
}

void ViewerArea::leaveEvent(QEvent* event) {
  QAbstractScrollArea::leaveEvent(event);
  emit pointer_left();
}

// ---- the window ----

Form13::Form13(const DisplayState& display, GuideWindowSource guide_window,
               std::shared_ptr<ViewerPlace> place, QWidget* parent)
    : QWidget(parent, Qt::Window),
      display_(display),
      guide_window_(std::move(guide_window)),
      place_(std::move(place)) {
  named(this, "Form13");
  setWindowTitle(QStringLiteral("拡大表示"));
  Picture1_ = named(new ViewerArea(grey_, place_->view, this), "Picture1");
  Label1_ = value_label(new QLabel(this), "Label1");
  Label2_ = value_label(new QLabel(this), "Label2");
  Label3_ = value_label(new QLabel(this), "Label3");
  Label2_->setMinimumWidth(90);
  Label3_->setTextInteractionFlags(Qt::TextSelectableByMouse);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(4, 4, 4, 4);
  layout->addWidget(Picture1_, 1);
  auto* row = new QHBoxLayout;
  row->addWidget(Label2_);
  row->addWidget(Label1_, 1);
  layout->addLayout(row);
  layout->addWidget(Label3_);

  connect(Picture1_, &ViewerArea::pointer_moved, this, &Form13::Picture1_MouseMove);
  connect(Picture1_, &ViewerArea::pointer_left, Label1_, &QLabel::clear);
  connect(Picture1_, &ViewerArea::clicked, this, &Form13::Picture1_Click);
  connect(Picture1_, &ViewerArea::zoom_changed, this, &Form13::show_zoom);

  resize(place_->width, place_->height);
  Label3_->setText(QStringLiteral("星をクリックすると測定します"));
  picture_changed();
  Picture1_->setFocus();
}

const Frame* Form13::shown_frame(int& width, int& height) const {
  const PictureContent& content = display_.picture.content;
  if (content.draws == 0) return nullptr;
  const Frame& frame = source_frame(display_.frames, content.source);
  width = display_.frames.used_width(frame);
  height = display_.frames.used_height(frame);
  return width > 0 && height > 0 ? &frame : nullptr;
}

void Form13::map_frame() {
  const PictureContent& content = display_.picture.content;
  int width = 0, height = 0;
  if (const Frame* frame = shown_frame(width, height))
    map_grey(frame->counts, width, height, content.background, content.range, grey_);
  else
    grey_ = {};
  mapped_draws_ = content.draws;
  place_->view.set_frame(grey_.width, grey_.height);
  Picture1_->view_changed();
  Picture1_->setAccessibleName(grey_.width == 0 ? QStringLiteral("フレームなし")
                                                : QStringLiteral("%1 %2 x %3")
                                                      .arg(QString::fromUtf8(frame_name(content.source)))
                                                      .arg(grey_.width)
                                                      .arg(grey_.height));
  show_zoom();
}

void Form13::picture_changed() {
  if (display_.picture.content.draws != mapped_draws_ || mapped_draws_ == 0) {
    map_frame();
    // The star measured last is measured again in the new frame, where it
    // has moved to.
    if (measured_ && star_.found) Picture1_Click(star_.x + 0.5, star_.y + 0.5);
  }
  Picture1_->set_guide_window(guide_window_ ? guide_window_() : std::nullopt);
  Picture1_->viewport()->update();
}

void Form13::Picture1_MouseMove(double x, double y) {
  const std::optional<std::string> readout =
      cursor_readout(display_.frames, static_cast<int>(std::floor(x)), static_cast<int>(std::floor(y)));
  Label1_->setText(readout ? QString::fromStdString(*readout) : QString());
}

void Form13::Picture1_Click(double x, double y) {
  int width = 0, height = 0;
  const Frame* frame = shown_frame(width, height);
  if (!frame) return;
  star_ = measure_star(frame->counts, width, height, x - 0.5, y - 0.5);
  measured_ = true;
  show_star();
}

void Form13::show_zoom() { Label2_->setText(QString::fromStdString(place_->view.zoom_text())); }

void Form13::show_star() {
  Label3_->setText(QString::fromStdString(star_text(star_)));
  Picture1_->set_cross(star_.found ? std::optional<ViewPoint>({star_.x, star_.y}) : std::nullopt);
}

void Form13::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  place_->width = width();
  place_->height = height();
}

void Form13::closeEvent(QCloseEvent* event) {
  place_->width = width();
  place_->height = height();
  QWidget::closeEvent(event);
}

}  // namespace stellacq
