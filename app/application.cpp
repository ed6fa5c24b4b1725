#include "app/application.h"

#include <QApplication>
#include <QDir>

#include "app/main_window.h"
#include "app/program.h"
#include "app/qt_interaction.h"
#include "app/termination.h"

namespace stellacq {

int run_stellacq(PortIo& port, SerialLine& serial, const std::function<void(Program&)>& after_load) {
  SystemClock clock;
  QtInteraction ui;
  CalibratedBusyCount busy(clock);
  Program program({port, clock, ui, busy, serial});
  // A termination signal during a guiding move stops the mount first.
  TerminationGuard termination(program.telescope.mount());
  // The INI file stays in the folder the program was started from, even
  // when browsing later moves the current folder.
  Form1 window(program, ui, QDir::currentPath().toStdString());
  window.show();
  window.Form_Load();
  if (after_load) after_load(program);
  return QApplication::exec();
}

}  // namespace stellacq
