// The program window on an offscreen screen: the fields from the settings,
// and cancel pressed while its own program runs (the window disappears at
// once and is deleted only after the execute handler has returned).
#include "exposure/program_window.h"

#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTest>

#include "camera/connection.h"
#include "config/ini_file.h"
#include "test_support/world.h"

namespace stellacq {

class ProgramWindowTest : public QObject {
  Q_OBJECT

  static QString text(QWidget* form, const char* name) { return form->findChild<QLineEdit*>(name)->text(); }
  static void set(QWidget* form, const char* name, const char* value) {
    form->findChild<QLineEdit*>(name)->setText(QString::fromUtf8(value));
  }
  static void click(QWidget* form, const char* name) {
    QTest::mouseClick(form->findChild<QPushButton*>(name), Qt::LeftButton);
  }

 private slots:
  void cancel_during_the_countdown_ends_the_program_and_the_window() {
    testing::SimWorld w;
    testing::ScratchDir dir;
    w.p.ini_path = dir.file("STELLACQ.INI");
    w.p.settings.save_in_series = 1;
    w.p.settings.save_folder = dir.path();
    w.p.settings.program_shutter = 60;
    w.p.settings.program_interval = 0.5;
    w.p.settings.program_count = 10;
    w.p.settings.program_repeat = 3;
    w.p.settings.program_wait = std::nullopt;
    w.p.connection.camera_menu_link_sumi_Click();
    w.ui.on_idle = [&] {
      LocalDateTime& t = w.clock.now_value;
      t.second = (t.second + 1) % 60;
    };
    QPointer<Form11> form = new Form11(w.p.program_shooting);
    form->setAttribute(Qt::WA_DeleteOnClose);
    int handlers = 0;
    form->run_handler = [&](const std::function<void()>& program) {
      ++handlers;
      program();
    };
    form->show();
    QCOMPARE(text(form, "Text1") + "," + text(form, "Text2") + "," + text(form, "Text3") + "," +
                 text(form, "Text4") + "," + text(form, "Text5"),
             QStringLiteral("60,.5,10,3,"));  // the stored program, a wait never set empty
    for (const auto& [name, value] :
         {std::pair("Text1", "1"), {"Text2", "0"}, {"Text3", "1"}, {"Text4", "2"}, {"Text5", "3"}})
      set(form, name, value);
    bool clicked = false, hidden_while_running = false;
    w.ui.on_yield = [&] {
      if (clicked || w.ui.last_status() != " 待ち時間 2秒") return;
      clicked = true;
      click(form, "Command2");
      hidden_while_running = form && form->isHidden() && w.p.series.state().program_running == 0;
    };
    click(form, "Command1");
    QCOMPARE(handlers, 1);
    QVERIFY(hidden_while_running);  // and the program was cancelled
    QTRY_VERIFY(form.isNull());
  }
};

}  // namespace stellacq

QTEST_MAIN(stellacq::ProgramWindowTest)
#include "program_window_test.moc"
