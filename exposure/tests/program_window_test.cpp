// The program window on an offscreen screen: the fields from the settings,
// and cancel pressed while its own program runs (the window disappears at
// once and is deleted only after the execute handler has returned).
#include "exposure/program_window.h"

#include <QLineEdit>
#include <QPointer>
#include <QTest>

#include "camera/connection.h"
#include "config/ini_file.h"
#include "test_support/widgets.h"
#include "test_support/world.h"

namespace stellacq {

class ProgramWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void cancel_during_the_countdown_ends_the_program_and_the_window() {
    testing::SimWorld w;
    testing::ScratchDir dir;
    w.p.ini_path = dir.file("STELLACQ.INI");
    Settings& s = w.p.settings;
    s.save_in_series = 1, s.save_folder = dir.path();
    s.program_shutter = 60, s.program_interval = 0.5, s.program_count = 10, s.program_repeat = 3;
    s.program_wait = std::nullopt;
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
    // The stored program, a wait never set empty; then a program of its own.
    QString shown;
    for (const auto& [name, value] :
         {std::pair("Text1", "1"), {"Text2", "0"}, {"Text3", "1"}, {"Text4", "2"}, {"Text5", "3"}}) {
      shown += testing::text(form, name) + ",";
      testing::child<QLineEdit>(form, name)->setText(value);
    }
    QCOMPARE(shown, QStringLiteral("60,.5,10,3,,"));
    bool clicked = false, hidden_while_running = false;
    w.ui.on_yield = [&] {
      if (clicked || w.ui.last_status() != " 待ち時間 2秒") return;
      clicked = true;
      QTest::mouseClick(testing::child(form, "Command2"), Qt::LeftButton);  // no settling inside the run
      hidden_while_running = form && form->isHidden() && w.p.series.state().program_running == 0;
    };
    testing::click(form, "Command1");
    QCOMPARE(handlers, 1);
    QVERIFY(hidden_while_running);  // and the program was cancelled
    QTRY_VERIFY(form.isNull());
  }
};

}  // namespace stellacq

QTEST_MAIN(stellacq::ProgramWindowTest)
#include "program_window_test.moc"
