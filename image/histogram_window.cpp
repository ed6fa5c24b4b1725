// The histogram window: draws and forwards; the arithmetic is in
// image/histogram.
#include "image/histogram_window.h"

#include <QGridLayout>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <cmath>

#include "core/numeric.h"
#include "image/frame_display.h"
#include "window_kit/window_support.h"

namespace stellacq {

namespace {

const QColor kBarColour(0, 255, 0);

}  // namespace

HistogramPicture::HistogramPicture(QWidget* parent)
    : QWidget(parent), image_(kUnits, kPixelHeight, QImage::Format_RGB32) {
  setFixedSize(kUnits, kPixelHeight);
  clear();
}

void HistogramPicture::clear() {
  image_.fill(Qt::white);
  update();
}

int HistogramPicture::pixel_row(double units) const {
  return static_cast<int>(std::lround(units / static_cast<double>(scale_height_) * kPixelHeight));
}

void HistogramPicture::draw_bar(int bin, std::int64_t count) {
  if (bin < 0 || bin >= kUnits || count <= 0) return;
  const int top = std::clamp(pixel_row(static_cast<double>(scale_height_ - count)), 0, kPixelHeight);
  for (int y = top; y < kPixelHeight; ++y) image_.setPixel(bin, y, kBarColour.rgb());
  update();
}

void HistogramPicture::draw_line(double X, QColor colour) {
  // The same column as the bar of the bin at X, which is redrawn after an
  // erase: rounded with ties to even.
  const int x = static_cast<int>(round_half_even(X));
  if (x < 0 || x >= kUnits) return;
  for (int y = 0; y < kPixelHeight; ++y) image_.setPixel(x, y, colour.rgb());
  update();
}

void HistogramPicture::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.drawImage(rect(), image_);
}

void HistogramPicture::mousePressEvent(QMouseEvent* event) {
  emit pressed(event->button(), event->position().x() * kUnits / width());
}

Form9::Form9(FrameDisplay& display, Interaction& ui, QWidget* parent)
    : QWidget(parent, Qt::Window), display_(display), ui_(ui) {
  setWindowTitle(QStringLiteral("Histgram"));
  named(this, "Form9");

  Picture1_ = new HistogramPicture(this);
  Label1_ = new QLabel(QStringLiteral("Background"), this);
  Label2_ = new QLabel(QStringLiteral("Range"), this);
  Text1_ = new QLineEdit(this);
  Text2_ = new QLineEdit(this);
  Command1_ = new QPushButton(QStringLiteral("OK"), this);
  Command2_ = new QPushButton(QStringLiteral("Cancel"), this);
  named(Picture1_, "Picture1", QStringLiteral("Picture1"));
  named(Label1_, "Label1", Label1_->text());
  named(Label2_, "Label2", Label2_->text());
  named(Text1_, "Text1", Label1_->text());
  named(Text2_, "Text2", Label2_->text());
  named(Command1_, "Command1", Command1_->text());
  named(Command2_, "Command2", Command2_->text());

  auto* layout = new QGridLayout(this);
  layout->addWidget(Picture1_, 0, 0, 1, 4);
  layout->addWidget(Label1_, 1, 0);
  layout->addWidget(Text1_, 1, 1);
  layout->addWidget(Label2_, 1, 2);
  layout->addWidget(Text2_, 1, 3);
  layout->addWidget(Command1_, 2, 2);
  layout->addWidget(Command2_, 2, 3);

  connect(Picture1_, &HistogramPicture::pressed, this, &Form9::Picture1_MouseDown);
  connect(Command1_, &QPushButton::clicked, this, &Form9::Command1_Click);
  connect(Command2_, &QPushButton::clicked, this, &Form9::Command2_Click);

  Form_Load();
}

void Form9::Form_Load() {
  ui_.busy_pointer(true);
  state_ = open_histogram(display_.state().frames);
  draw_histogram();
  ui_.busy_pointer(false);
  Text1_->setText(QString::number(state_.working_background));
  Text2_->setText(QString::number(state_.working_range));
}

void Form9::draw_histogram() {
  Picture1_->clear();
  Picture1_->set_scale_height(state_.scale_height);
  for (int i = 0; i < 300; ++i) Picture1_->draw_bar(i, state_.bins[i]);
}

void Form9::Picture1_MouseDown(Qt::MouseButton button, double X) {
  const bool left = button == Qt::LeftButton;
  const MarkerMove move = histogram_click(state_, display_.state().frames, left, X);
  Picture1_->draw_line(move.erased_at, Qt::white);
  Picture1_->draw_bar(move.redraw_bin, state_.bins[move.redraw_bin]);
  Picture1_->draw_line(move.drawn_at, Qt::black);
  if (left) Text1_->setText(QString::number(state_.working_background));
  Text2_->setText(QString::number(state_.working_range));
}

void Form9::Command1_Click() {
  display_.histogram_ok(Text1_->text().toStdString(), Text2_->text().toStdString());
  emit levels_applied();
  close();
}

void Form9::Command2_Click() { close(); }

}  // namespace stellacq
