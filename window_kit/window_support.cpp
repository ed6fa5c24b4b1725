#include "window_kit/window_support.h"

#include <QGuiApplication>
#include <QScreen>

namespace stellacq {

void centre_on_screen(QWidget* window) {
  const QScreen* screen = window->screen();
  if (!screen) screen = QGuiApplication::primaryScreen();
  if (!screen) return;
  const QRect area = screen->geometry();
  // Once shown, the frame the desktop adds counts; before, it equals the window.
  const QSize size = window->frameGeometry().size();
  window->move(area.x() + (area.width() - size.width()) / 2, area.y() + (area.height() - size.height()) / 2);
}

QLabel* value_label(QLabel* label, const char* name, QLabel* caption) {
  named(label, name);
  label->setAccessibleName({});  // the name follows the text
  if (caption) caption->setBuddy(label);
  return label;
}

}  // namespace stellacq
