#include "app/qt_interaction.h"

#include <QApplication>
#include <QCoreApplication>
#include <QCursor>
#include <QEventLoop>
#include <QInputDialog>
#include <QMessageBox>
#include <QString>
#include <QTimer>

namespace stellacq {

namespace {

const char* const kProgramTitle = "STELLACQ";

// Length of one pass of a wait.
constexpr int kIdleMs = 5;

QString q(const std::string& text) { return QString::fromStdString(text); }

}  // namespace

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
  // Paint and timer events run; clicks and keys stay in the queue until the
  // next full pass of the event loop, after the exchange.
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void QtInteraction::exchange_ended() {
  if (on_exchange_end) on_exchange_end();
}

void QtInteraction::picture_changed() {
  if (on_picture) on_picture();
}

}  // namespace stellacq
