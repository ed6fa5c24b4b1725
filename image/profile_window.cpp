// The graph window: draws and forwards; the arithmetic is in image/profile.
#include "image/profile_window.h"

#include <QHBoxLayout>
#include <QImage>
#include <QPainter>
#include <QVBoxLayout>

#include "window_kit/window_support.h"

namespace stellacq {

namespace {

// A framed pair of buttons, "U" above "D".
QGroupBox* pair(const char* name, const char* caption, QPushButton* up, QPushButton* down, QWidget* parent) {
  const QString text = QString::fromLatin1(caption);
  auto* frame = named(new QGroupBox(text, parent), name, text);
  auto* layout = new QVBoxLayout(frame);
  up->setParent(frame);
  down->setParent(frame);
  layout->addWidget(up);
  layout->addWidget(down);
  return frame;
}

}  // namespace

ProfilePicture::ProfilePicture(const ProfilePlot& plot, QWidget* parent) : QWidget(parent), plot_(plot) {
  setFixedSize(ProfilePlot::kWidth, ProfilePlot::kHeight);
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void ProfilePicture::paintEvent(QPaintEvent*) {
  const QImage image(reinterpret_cast<const uchar*>(plot_.pixels.data()), ProfilePlot::kWidth,
                     ProfilePlot::kHeight, ProfilePlot::kWidth * 4, QImage::Format_RGB32);
  QPainter painter(this);
  painter.drawImage(rect(), image);
}

Form12::Form12(const Frames& frames, ProfilePoint& point, QWidget* parent)
    : QWidget(parent, Qt::Window), frames_(frames), point_(point) {
  named(this, "Form12", QStringLiteral("horizontal graph"));
  setWindowTitle(QStringLiteral("horizontal graph"));
  setAttribute(Qt::WA_DeleteOnClose);

  Picture1_ = named(new ProfilePicture(plot_, this), "Picture1", QStringLiteral("Picture1"));
  Command1_ = captioned<QPushButton>("Command1", "U", this);
  Command2_ = captioned<QPushButton>("Command2", "D", this);
  Command3_ = captioned<QPushButton>("Command3", "U", this);
  Command4_ = captioned<QPushButton>("Command4", "D", this);
  Command5_ = captioned<QPushButton>("Command5", "U", this);
  Command6_ = captioned<QPushButton>("Command6", "D", this);
  Frame1_ = pair("Frame1", "Line", Command1_, Command2_, this);
  Frame2_ = pair("Frame2", "Zoom", Command3_, Command4_, this);
  Frame3_ = pair("Frame3", "Level", Command5_, Command6_, this);

  auto* buttons = new QVBoxLayout;
  buttons->addWidget(Frame1_);
  buttons->addWidget(Frame2_);
  buttons->addWidget(Frame3_);
  buttons->addStretch();
  auto* layout = new QHBoxLayout(this);
  layout->addWidget(Picture1_);
  layout->addLayout(buttons);

  connect(Command1_, &QPushButton::clicked, this, &Form12::Command1_Click);
  connect(Command2_, &QPushButton::clicked, this, &Form12::Command2_Click);
  connect(Command3_, &QPushButton::clicked, this, &Form12::Command3_Click);
  connect(Command4_, &QPushButton::clicked, this, &Form12::Command4_Click);
  connect(Command5_, &QPushButton::clicked, this, &Form12::Command5_Click);
  connect(Command6_, &QPushButton::clicked, this, &Form12::Command6_Click);

  Form_Load();
}

void Form12::Form_Load() {
  graph_ = ProfileGraph{};
  redraw();
}

void Form12::redraw() {
  draw_profile(frames_, point_, graph_, plot_);
  Picture1_->update();
}

void Form12::Command1_Click() {
  profile_line_up(point_, frames_);
  redraw();
}

void Form12::Command2_Click() {
  profile_line_down(point_);
  redraw();
}

void Form12::Command3_Click() {
  profile_zoom_up(graph_);
  redraw();
}

void Form12::Command4_Click() {
  profile_zoom_down(graph_);
  redraw();
}

void Form12::Command5_Click() {
  profile_level_up(graph_);
  redraw();
}

void Form12::Command6_Click() {
  profile_level_down(graph_);
  redraw();
}

bool is_profile_click(Qt::KeyboardModifiers modifiers) {
  return (modifiers & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier)) == Qt::ShiftModifier;
}

void open_line_profile(const Frames& frames, ProfilePoint& point, QPointer<QWidget>& slot,
                       const std::function<QWidget*()>& open_window, double X, double Y, double W, double H) {
  if (frames.light.width <= 0 || frames.light.height <= 0) return;
  if (slot) slot->close();
  if (!set_profile_point(frames, X, Y, W, H, point)) return;
  slot = open_window();
  slot->show();
}

}  // namespace stellacq
