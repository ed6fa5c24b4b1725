// The tracking status window; see tracking_status_window.h.
#include "guiding/tracking_status_window.h"

#include <QFrame>
#include <QGridLayout>
#include <QLabel>

#include "camera/geometry.h"
#include "guiding/measure.h"
#include "window_kit/window_support.h"

namespace stellacq {

namespace {

QLabel* caption(const char* name, const char* text, QWidget* parent) {
  return captioned<QLabel>(name, text, parent);
}

// A value label, read by assistive tools as the value it shows, labelled by
// the caption of its row.
QLabel* value(const char* name, QLabel* row_caption, QWidget* parent) {
  auto* label = value_label(new QLabel(parent), name, row_caption);
  label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  label->setMinimumWidth(60);
  return label;
}

}  // namespace

Form6::Form6(TrackingStatusValues& values, const Settings& settings, QWidget* parent)
    : QWidget(parent, Qt::Window), values_(values), settings_(settings) {
  setWindowTitle(QStringLiteral("Tracking Stat."));
  named(this, "Form6", windowTitle());
  setAttribute(Qt::WA_DeleteOnClose);

  Label1_ = caption("Label1", "Sarch Span", this);
  Label2_ = caption("Label2", "Aperture", this);
  Label3_ = caption("Label3", "Threshold", this);
  Label4_ = caption("Label4", "Star / Sky", this);
  Label5_ = value("Label5", Label1_, this);
  Label6_ = value("Label6", Label2_, this);
  Label7_ = value("Label7", Label3_, this);
  Label8_ = value("Label8", Label4_, this);
  Line1_ = named(new QFrame(this), "Line1");
  Line1_->setFrameShape(QFrame::HLine);
  Line1_->setFrameShadow(QFrame::Sunken);

  auto* grid = new QGridLayout(this);
  grid->addWidget(Label1_, 0, 0);
  grid->addWidget(Label5_, 0, 1);
  grid->addWidget(Label2_, 1, 0);
  grid->addWidget(Label6_, 1, 1);
  grid->addWidget(Label3_, 2, 0);
  grid->addWidget(Label7_, 2, 1);
  grid->addWidget(Line1_, 3, 0, 1, 2);
  grid->addWidget(Label4_, 4, 0);
  grid->addWidget(Label8_, 4, 1);
  Label9_ = caption("Label9", "Unguided", this);
  Label10_ = value_label(new QLabel(this), "Label10", Label9_);
  Label10_->setWordWrap(true);
  Label10_->setMaximumWidth(320);
  grid->addWidget(Label9_, 5, 0, Qt::AlignTop);
  grid->addWidget(Label10_, 5, 1);
  Form_Load();
}

void Form6::Form_Load() {
  TrackingStatusValues& values = values_;
  values.Label5 = plain_text(configured_span(settings_));
  values.Label6 = plain_text(settings_.aperture);
  values.Label7 = plain_text(settings_.threshold, 7);
  show_values();
}

void Form6::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  // Left edge at the main window's width, top at 0: beside a main window at
  // the screen's top-left corner.
  move(parentWidget() ? parentWidget()->frameGeometry().width() : 0, 0);
}

void Form6::show_values() {
  const TrackingStatusValues& values = values_;
  const auto set = [](QLabel* label, const std::string& text) {
    const QString shown = QString::fromStdString(text);
    if (label->text() != shown) label->setText(shown);
  };
  set(Label5_, values.Label5);
  set(Label6_, values.Label6);
  set(Label7_, values.Label7);
  set(Label8_, values.Label8);
  set(Label10_, values.unguided);
  Label9_->setVisible(!values.unguided.empty());
  Label10_->setVisible(!values.unguided.empty());
}

}  // namespace stellacq
