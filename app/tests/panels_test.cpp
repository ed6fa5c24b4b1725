// The telescope window and the tracking status window, as a person and an
// assistive tool (a screen reader, through Qt's accessibility interfaces)
// meet them. A label that shows a value is heard with the value it shows
// now as its name, the caption of its row as its label and the control's
// name as its description.
#include <QAccessible>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include "guiding/tracking_status_window.h"
#include "telescope/telescope_window.h"
#include "test_support/widgets.h"
#include "test_support/world.h"

namespace stellacq {

class PanelsTest : public QObject {
  Q_OBJECT

  // Name, description and the caption it is labelled by, as a tool reads
  // them: "name|description|caption", the labels' one after the other.
  static QString heard(QWidget* window, std::initializer_list<const char*> names) {
    QStringList heard;
    for (const char* name : names) {
      QAccessibleInterface* a = QAccessible::queryAccessibleInterface(testing::child<QLabel>(window, name));
      QString caption;
      for (const auto& [other, relation] : a->relations(QAccessible::Label))
        if (relation & QAccessible::Label) caption = other->text(QAccessible::Name);
      heard << a->text(QAccessible::Name) + "|" + a->text(QAccessible::Description) + "|" + caption;
    }
    return heard.join(' ');
  }

 private slots:
  // The telescope window polls the simulated mount after "RS232C Open" and
  // is heard with the values it shows now, not those it opened with; Close
  // ends the polling, closes the line and deletes the window.
  void the_telescope_window_reads_the_position() {
    testing::SimWorld w;
    w.observatory.mount_axes().options().periodic_error_arcsec = 0;
    QPointer<Form10> form = new Form10(w.p.telescope);
    form->setAttribute(Qt::WA_DeleteOnClose);
    form->show();
    auto* timer = form->findChild<QTimer*>("Timer1");
    QVERIFY(!timer->isActive());
    testing::click(form, "Command1");
    QVERIFY(timer->isActive());
    form->Timer1_Timer();  // replies come at the line's pace on the mount's clock
    QCOMPARE(heard(form, {"Label3", "Label4", "Label1"}),
             QStringLiteral("05:35:17#|Label3|R.A. -05*23'24#|Label4|R.D. R.A.|Label1|"));
    testing::click(form, "Command2");
    QTRY_VERIFY(form.isNull());
    QVERIFY(!w.p.serial.is_open() && !w.p.telescope.state().polling);
  }

  // A long garbled declination keeps the field at its width: the buttons
  // below do not move. (Line breaks are taken out before the window sees a
  // reply.) Each direction button sends its own pair: Right is west, Left east.
  void the_telescope_fields_keep_their_width_and_each_button_moves_its_way() {
    testing::World w;
    w.p.settings.com_port = 1;
    w.serial.on_send = [&](const std::string& text) {
      if (text == "#:GR#\r\n") w.serial.incoming.push_back("05:35:17#");
      if (text == "#:GD#\r\n") w.serial.incoming.push_back(std::string(31, 'W') + "#");
    };
    Form10 form(w.p.telescope);
    form.show();
    testing::click(&form, "Command1");
    form.Timer1_Timer();
    auto* ra = form.findChild<QLabel*>("Label3");
    auto* dec = form.findChild<QLabel*>("Label4");
    QVERIFY(dec->text().startsWith(QStringLiteral("WWW")));
    QVERIFY(dec->minimumSizeHint().width() <= dec->width());
    QCOMPARE(dec->width(), ra->width());
    w.serial.sent.clear();
    for (const char* button : {"Command3", "Command4", "Command5", "Command6"}) testing::click(&form, button);
    QCOMPARE(QString::fromStdString(w.serial.sent),
             QStringLiteral("#:Mn#\r\n#:Qn#\r\n#:Ms#\r\n#:Qs#\r\n#:Mw#\r\n#:Qw#\r\n#:Me#\r\n#:Qe#\r\n"));
  }

  void the_telescope_window_reports_an_absent_device_and_does_not_poll() {
    testing::World w;
    w.p.settings.com_port = 1;
    w.serial.open_error = LineError::NoDevice;
    Form10 form(w.p.telescope);
    testing::click(&form, "Command1");
    QVERIFY(!form.findChild<QTimer*>("Timer1")->isActive());
    QCOMPARE(w.ui.boxes.size(), std::size_t{1});
  }

  // The tracking status window opens beside the main window, reads the
  // settings and the ratio, tells of frames left unguided and is deleted
  // when closed.
  void the_tracking_status_reads_the_settings_and_the_ratio() {
    testing::World w;
    w.p.settings.search_span = 10, w.p.settings.aperture = 2;
    w.p.settings.threshold = 2.7f;  // 2.70000004768372 in double precision
    w.p.guide.tracking_status.Label8 = "4.96";
    QWidget main;
    main.setGeometry(0, 0, 420, 300);
    main.show();
    QPointer<Form6> form = new Form6(w.p.guide.tracking_status, w.p.settings, &main);
    form->show();
    QCOMPARE(form->pos(), QPoint(main.frameGeometry().width(), 0));
    QCOMPARE(
        heard(form, {"Label5", "Label6", "Label7", "Label8"}),
        QStringLiteral("10|Label5|Sarch Span 2|Label6|Aperture 2.7|Label7|Threshold 4.96|Label8|Star / Sky"));
    QVERIFY(form->findChild<QLabel*>("Label10")->isHidden());  // every step guided
    w.p.guide.tracking_status.Label8 = "12.35";
    w.p.guide.tracking_status.unguided = "2 no line";
    form->show_values();
    QCOMPARE(heard(form, {"Label8"}), QStringLiteral("12.35|Label8|Star / Sky"));
    QVERIFY(form->findChild<QLabel*>("Label10")->isVisible() &&
            form->findChild<QLabel*>("Label10")->text() == QStringLiteral("2 no line"));
    form->close();
    QTRY_VERIFY(form.isNull());
  }
};

}  // namespace stellacq

QTEST_MAIN(stellacq::PanelsTest)
#include "panels_test.moc"
