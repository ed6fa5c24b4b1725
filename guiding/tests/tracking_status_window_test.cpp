// The tracking status window: its place beside the main window, and the
// line that tells of frames left unguided.
#include "guiding/tracking_status_window.h"

#include <QLabel>
#include <QPointer>
#include <QtTest>

#include "test_support/world.h"

namespace stellacq {

class TrackingStatusWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void opens_beside_the_main_window_and_tells_of_unguided_frames() {
    testing::World w;
    QWidget main;
    main.setGeometry(0, 0, 420, 300);
    main.show();
    QPointer<Form6> form = new Form6(w.p.guide.tracking_status, w.p.settings, &main);
    form->show();
    QCOMPARE(form->pos(), QPoint(main.frameGeometry().width(), 0));
    // The values themselves are read in the accessibility test.
    QVERIFY(form->findChild<QLabel*>("Label10")->isHidden());  // every step guided
    w.p.guide.tracking_status.unguided = "2 no line";
    form->show_values();
    QVERIFY(form->findChild<QLabel*>("Label10")->isVisible());
    QCOMPARE(form->findChild<QLabel*>("Label10")->text(), QStringLiteral("2 no line"));
    form->close();
    QTRY_VERIFY(form.isNull());  // deleted when closed
  }
};

}  // namespace stellacq

QTEST_MAIN(stellacq::TrackingStatusWindowTest)
#include "tracking_status_window_test.moc"
