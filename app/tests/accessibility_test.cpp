// What an assistive tool (a screen reader, through Qt's accessibility
// interfaces) hears of the windows that show values: the value a label
// shows now as its name, the caption of its row as its label, the control's
// name as its description; and the tracking status window's place and its
// line about unguided frames.
#include <QAccessible>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QtTest>

#include "guiding/tracking_status_window.h"
#include "telescope/telescope_window.h"
#include "test_support/world.h"

namespace stellacq {

class AccessibilityTest : public QObject {
  Q_OBJECT

  // Name, description and the caption it is labelled by, as a tool reads
  // them: "name|description|caption".
  static QString heard(QWidget* window, const char* name) {
    auto* label = window->findChild<QLabel*>(name);
    QAccessibleInterface* a = QAccessible::queryAccessibleInterface(label);
    QString caption;
    for (const auto& [other, relation] : a->relations(QAccessible::Label))
      if (relation & QAccessible::Label) caption = other->text(QAccessible::Name);
    return a->text(QAccessible::Name) + "|" + a->text(QAccessible::Description) + "|" + caption;
  }

 private slots:
  void the_telescope_window_reads_the_position() {
    testing::SimWorld w;
    Form10 form(w.p.telescope);
    form.show();
    QTest::mouseClick(form.findChild<QPushButton*>("Command1"), Qt::LeftButton);
    form.Timer1_Timer();
    // Whatever the fields show after a query, not what they showed at first, is heard.
    const QString ra = form.findChild<QLabel*>("Label3")->text();
    const QString dec = form.findChild<QLabel*>("Label4")->text();
    QVERIFY(ra != "00:00:00" && dec != "+00d00'");
    QCOMPARE(heard(&form, "Label3"), ra + "|Label3|R.A.");
    QCOMPARE(heard(&form, "Label4"), dec + "|Label4|R.D.");
    QCOMPARE(heard(&form, "Label1"), QStringLiteral("R.A.|Label1|"));
  }

  // The tracking status window opens beside the main window, reads the
  // settings and the ratio, tells of frames left unguided and is deleted
  // when closed.
  void the_tracking_status_reads_the_settings_and_the_ratio() {
    testing::World w;
    w.p.settings.search_span = 10;
    w.p.settings.aperture = 2;
    w.p.settings.threshold = 2.7f;  // 2.70000004768372 in double precision
    w.p.guide.tracking_status.Label8 = "4.96";
    QWidget main;
    main.setGeometry(0, 0, 420, 300);
    main.show();
    QPointer<Form6> form = new Form6(w.p.guide.tracking_status, w.p.settings, &main);
    form->show();
    QCOMPARE(form->pos(), QPoint(main.frameGeometry().width(), 0));
    QCOMPARE(heard(form, "Label5"), QStringLiteral("10|Label5|Sarch Span"));
    QCOMPARE(heard(form, "Label6"), QStringLiteral("2|Label6|Aperture"));
    QCOMPARE(heard(form, "Label7"), QStringLiteral("2.7|Label7|Threshold"));
    QCOMPARE(heard(form, "Label8"), QStringLiteral("4.96|Label8|Star / Sky"));
    QVERIFY(form->findChild<QLabel*>("Label10")->isHidden());  // every step guided
    w.p.guide.tracking_status.Label8 = "12.35";
    w.p.guide.tracking_status.unguided = "2 no line";
    form->show_values();
    QCOMPARE(heard(form, "Label8"), QStringLiteral("12.35|Label8|Star / Sky"));
    QVERIFY(form->findChild<QLabel*>("Label10")->isVisible());
    QCOMPARE(form->findChild<QLabel*>("Label10")->text(), QStringLiteral("2 no line"));
    form->close();
    QTRY_VERIFY(form.isNull());
  }
};

}  // namespace stellacq

QTEST_MAIN(stellacq::AccessibilityTest)
#include "accessibility_test.moc"
