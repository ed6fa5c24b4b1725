#include "app/qt_interaction.h"

#include <QApplication>
#include <QCoreApplication>
#include <QCursor>
#include <QEvent>
#include <QEventLoop>
#include <QInputDialog>
#include <QMessageBox>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <memory>
#include <utility>
#include <vector>

namespace stellacq {

namespace {

const char* const kProgramTitle = "STELLACQ";

// Length of one pass of a wait.
constexpr int kIdleMs = 5;

QString q(const std::string& text) { return QString::fromStdString(text); }

bool is_input(QEvent::Type type) {
  switch (type) {
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::InputMethod:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::NonClientAreaMouseButtonPress:
    case QEvent::NonClientAreaMouseButtonRelease:
    case QEvent::NonClientAreaMouseButtonDblClick:
    case QEvent::NonClientAreaMouseMove:
    case QEvent::Wheel:
    case QEvent::ContextMenu:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TouchCancel:
    case QEvent::TabletPress:
    case QEvent::TabletMove:
    case QEvent::TabletRelease:
      return true;
    default:
      return false;
  }
}

}  // namespace

// While installed on the application, takes every input event out of the
// delivery unless the verdict lets it through, and keeps a copy to post
// again, to the same receiver, once the exchange has ended. The event loop
// itself runs in full meanwhile, so an abort can reach the window.
class InputGate final : public QObject {
 public:
  explicit InputGate(const std::function<InputVerdict(QObject*, QEvent*)>& verdict) : verdict_(verdict) {}

  bool eventFilter(QObject* receiver, QEvent* event) override {
    if (!is_input(event->type())) return false;
    const InputVerdict v = verdict_ ? verdict_(receiver, event) : InputVerdict::Hold;
    if (v == InputVerdict::Deliver) return false;
    if (v == InputVerdict::Taken) return true;
    if (event->type() == QEvent::ShortcutOverride) {
      // No shortcut fires inside the exchange; the key itself comes to its
      // window next and is held there.
      event->accept();
      return true;
    }
    // Of a run of moves only the last is kept: where the pointer went.
    if (event->type() == QEvent::MouseMove && !held_.empty() && held_.back().first == receiver &&
        held_.back().second->type() == QEvent::MouseMove) {
      held_.back().second.reset(event->clone());
      return true;
    }
    held_.emplace_back(receiver, event->clone());
    return true;
  }

  void release() {
    std::vector<std::pair<QPointer<QObject>, std::unique_ptr<QEvent>>> held;
    held.swap(held_);
    for (auto& [receiver, event] : held)
      if (receiver) QCoreApplication::postEvent(receiver, event.release());
  }

 private:
  const std::function<InputVerdict(QObject*, QEvent*)>& verdict_;
  std::vector<std::pair<QPointer<QObject>, std::unique_ptr<QEvent>>> held_;
};

QtInteraction::QtInteraction() : gate_(std::make_unique<InputGate>(on_exchange_input)) {}

QtInteraction::~QtInteraction() = default;

void QtInteraction::status(const std::string&) {
  if (on_status) on_status();
}

MessageAnswer QtInteraction::message_box(const std::string& text, const std::string& title,
                                         MessageButtons buttons) {
  QMessageBox box(
      QMessageBox::NoIcon, q(title.empty() ? kProgramTitle : title), q(text),
      buttons == MessageButtons::OkCancel ? QMessageBox::Ok | QMessageBox::Cancel : QMessageBox::Ok,
      QApplication::activeWindow());
  // A box asked during a busy command must still get a normal pointer.
  const bool restore_busy = busy_depth_ > 0;
  if (restore_busy) QApplication::setOverrideCursor(Qt::ArrowCursor);
  const int answer = box.exec();
  if (restore_busy) QApplication::restoreOverrideCursor();
  return answer == QMessageBox::Ok ? MessageAnswer::Ok : MessageAnswer::Cancel;
}

std::string QtInteraction::input_box(const std::string& prompt, const std::string& title,
                                     const std::string& default_text) {
  bool ok = false;
  const QString answer =
      QInputDialog::getText(QApplication::activeWindow(), q(title.empty() ? kProgramTitle : title), q(prompt),
                            QLineEdit::Normal, q(default_text), &ok);
  return ok ? answer.toStdString() : std::string();
}

void QtInteraction::beep() { QApplication::beep(); }

void QtInteraction::busy_pointer(bool on) {
  if (on) {
    ++busy_depth_;
    QApplication::setOverrideCursor(Qt::WaitCursor);
  } else if (busy_depth_ > 0) {
    --busy_depth_;
    QApplication::restoreOverrideCursor();
  }
}

void QtInteraction::yield() {
  if (on_fields) on_fields();
  QCoreApplication::processEvents();
}

void QtInteraction::idle() {
  if (on_fields) on_fields();
  // Runs the event loop for a few milliseconds: events are handled as they
  // come, and the processor rests in between.
  QEventLoop loop;
  QTimer::singleShot(kIdleMs, &loop, &QEventLoop::quit);
  loop.exec();
}

void QtInteraction::exchange_progress(const ExchangeProgress& progress) {
  if (on_progress) on_progress(progress);
  // Paint and timer events run; clicks and keys are held by the gate and
  // come after the exchange, all but an abort, which the window takes now.
  QCoreApplication::instance()->installEventFilter(gate_.get());
  QCoreApplication::processEvents();
  QCoreApplication::instance()->removeEventFilter(gate_.get());
}

void QtInteraction::exchange_ended() {
  gate_->release();
  if (on_exchange_end) on_exchange_end();
}

void QtInteraction::picture_changed() {
  if (on_picture) on_picture();
}

}  // namespace stellacq
