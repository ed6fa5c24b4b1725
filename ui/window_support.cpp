#include "ui/window_support.h"

#include <QGuiApplication>
#include <QScreen>

namespace stellacq {

void centre_on_screen(QWidget* window) {
  const QScreen* screen = QGuiApplication::primaryScreen();
  if (!screen) return;
  const QRect area = screen->geometry();
  window->move(area.x() + (area.width() - window->width()) / 2,
               area.y() + (area.height() - window->height()) / 2);
}

}  // namespace stellacq
