// The telescope window on an offscreen screen: each button's nudge, the
// fields' width and a refused open. Its polling and Close are read in the
// accessibility test.
#include "telescope/telescope_window.h"

#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "test_support/world.h"

namespace stellacq {

class TelescopeWindowTest : public QObject {
  Q_OBJECT

 private slots:
  // Each direction button sends its own pair: Right is west, Left east.
  void each_button_moves_its_own_way() {
    testing::World w;
    w.p.settings.com_port = 1;
    Form10 form(w.p.telescope);
    QTest::mouseClick(form.findChild<QPushButton*>("Command1"), Qt::LeftButton);
    w.serial.sent.clear();
    for (const char* button : {"Command3", "Command4", "Command5", "Command6"})
      QTest::mouseClick(form.findChild<QPushButton*>(button), Qt::LeftButton);
    QCOMPARE(QString::fromStdString(w.serial.sent),
             QStringLiteral("#:Mn#\r\n#:Qn#\r\n#:Ms#\r\n#:Qs#\r\n#:Mw#\r\n#:Qw#\r\n#:Me#\r\n#:Qe#\r\n"));
  }

  // A long garbled reply keeps the field at its width: the buttons below do
  // not move. (Line breaks are taken out before the window sees a reply.)
  void a_reply_keeps_the_field_on_one_line() {
    testing::World w;
    w.p.settings.com_port = 1;
    w.serial.on_send = [&](const std::string& text) {
      if (text == "#:GR#\r\n") w.serial.incoming.push_back("05:35:17#");
      if (text == "#:GD#\r\n") w.serial.incoming.push_back(std::string(31, 'W') + "#");
    };
    Form10 form(w.p.telescope);
    form.show();
    QTest::mouseClick(form.findChild<QPushButton*>("Command1"), Qt::LeftButton);
    form.Timer1_Timer();
    auto* ra = form.findChild<QLabel*>("Label3");
    auto* dec = form.findChild<QLabel*>("Label4");
    QVERIFY(dec->text().startsWith(QStringLiteral("WWW")));
    // The text fits the field as it is laid out: nothing makes the window grow.
    QVERIFY(dec->minimumSizeHint().width() <= dec->width());
    QCOMPARE(dec->width(), ra->width());
  }

  void absent_device_is_reported_and_nothing_polls() {
    testing::World w;
    w.p.settings.com_port = 1;
    w.serial.open_error = LineError::NoDevice;
    Form10 form(w.p.telescope);
    QTest::mouseClick(form.findChild<QPushButton*>("Command1"), Qt::LeftButton);
    QVERIFY(!form.findChild<QTimer*>("Timer1")->isActive());
    QCOMPARE(w.ui.boxes.size(), std::size_t{1});
  }
};

}  // namespace stellacq

QTEST_MAIN(stellacq::TelescopeWindowTest)
#include "telescope_window_test.moc"
