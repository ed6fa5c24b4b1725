// The tracking status window: its place beside the main window, the
// settings on opening and the values of the last measurement.
#include "guiding/tracking_status_window.h"

#include <QLabel>
#include <QPointer>
#include <QtTest>

#include "test_support/world.h"

namespace stellacq {

class TrackingStatusWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void opens_beside_the_main_window_with_the_settings_and_the_ratio() {
    testing::World w;
    w.p.settings.search_span = 10;
    w.p.settings.aperture = 2;
    w.p.settings.threshold = 2.5f;
    w.p.guide.tracking_status.Label8 = "4.96";
    QWidget main;
    main.setGeometry(0, 0, 420, 300);
    main.show();
    QPointer<Form6> form = new Form6(w.p, &main);
    form->show();
    QCOMPARE(form->windowTitle(), QStringLiteral("Tracking Stat."));
    QCOMPARE(form->pos(), QPoint(main.frameGeometry().width(), 0));
    const auto text = [&](const char* name) { return form->findChild<QLabel*>(name)->text(); };
    QCOMPARE(text("Label5") + "|" + text("Label6") + "|" + text("Label7") + "|" + text("Label8"),
             QStringLiteral("10|2|2.5|4.96"));

    w.p.guide.tracking_status.Label8 = "∞";  // a measurement since
    form->show_values();
    QCOMPARE(text("Label8"), QStringLiteral("∞"));
    QVERIFY(form->findChild<QLabel*>("Label10")->isHidden());  // every step guided
    w.p.guide.tracking_status.unguided = "2 no line";
    form->show_values();
    QVERIFY(form->findChild<QLabel*>("Label10")->isVisible());
    QCOMPARE(text("Label10"), QStringLiteral("2 no line"));
    form->close();
    QTRY_VERIFY(form.isNull());  // deleted when closed
  }
};

}  // namespace stellacq

QTEST_MAIN(stellacq::TrackingStatusWindowTest)
#include "tracking_status_window_test.moc"
