// The histogram window on an offscreen screen: bars, clicks with their
// erase-and-redraw, OK and Cancel.
#include "image/histogram_window.h"

#include <QLineEdit>
#include <QPointer>
#include <QSignalSpy>
#include <QTest>

#include "image/tests/world.h"

namespace stellacq {

using testing::make_world;

class HistogramWindowTest : public QObject {
  Q_OBJECT

 private:
  // A 10 x 10 light frame: scan_min 1000 (90 pixels), 2500 (bin 150, 9
  // pixels) and scan_max 4000 (bin 300); levels 1000 and 3000.
  static std::unique_ptr<testing::World> star_world() {
    auto w = make_world();
    w->set_light(10, 10, 1000);
    for (int x = 0; x < 9; ++x) w->p.frames.light_frame.at(x, 5) = 2500;
    w->p.frames.light_frame.at(9, 9) = 4000;
    w->p.frames.scan_min = 1000;
    w->p.frames.scan_max = 4000;
    w->p.frames.display_background = 1000;
    w->p.frames.display_range = 3000;
    return w;
  }
  static QString text(Form9& form, const char* name) {
    return form.findChild<QLineEdit*>(QString::fromLatin1(name))->text();
  }
  static QRgb pixel(Form9& form, int x, int y) { return form.picture()->image().pixel(x, y); }
  static void click(Form9& form, Qt::MouseButton button, int x) {
    QTest::mouseClick(form.picture(), button, Qt::NoModifier, QPoint(x, 100));
  }

 private slots:
  void opens_with_levels_and_bars() {
    auto w = star_world();
    Form9 form(w->p);
    QCOMPARE(form.windowTitle(), QStringLiteral("Histgram"));
    QCOMPARE(text(form, "Text1"), QStringLiteral("1000"));
    QCOMPARE(text(form, "Text2"), QStringLiteral("3000"));
    QCOMPARE(form.state().scale_height, std::int64_t{91});
    QCOMPARE(w->ui.busy_on, 1);
    QCOMPARE(w->ui.busy_off, 1);
    const QRgb green = qRgb(0, 255, 0);
    QCOMPARE(pixel(form, 0, 199), green);
    QCOMPARE(pixel(form, 0, 3), green);      // 90 of 91: nearly full height
    QCOMPARE(pixel(form, 150, 199), green);  // 9 of 91: about 20 pixels
    QCOMPARE(pixel(form, 150, 170), qRgb(255, 255, 255));
    QCOMPARE(pixel(form, 299, 199), qRgb(255, 255, 255));  // bin 300 is not drawn
  }

  void clicks_move_points_and_redraw_markers() {
    auto w = star_world();
    Form9 form(w->p);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    click(form, Qt::LeftButton, 100);  // 2000: the white point stays at 4000
    QCOMPARE(text(form, "Text1"), QStringLiteral("2000"));
    QCOMPARE(text(form, "Text2"), QStringLiteral("2000"));
    QCOMPARE(pixel(form, 100, 0), qRgb(0, 0, 0));

    click(form, Qt::LeftButton, 150);  // erases 100, marks 150 (over the bar)
    QCOMPARE(pixel(form, 100, 0), qRgb(255, 255, 255));
    QCOMPARE(pixel(form, 150, 0), qRgb(0, 0, 0));
    click(form, Qt::LeftButton, 120);  // erases 150 and draws its bar again
    QCOMPARE(pixel(form, 150, 0), qRgb(255, 255, 255));
    QCOMPARE(pixel(form, 150, 199), qRgb(0, 255, 0));
    QCOMPARE(text(form, "Text1"), QStringLiteral("2200"));

    click(form, Qt::RightButton, 50);  // 1500 with background 2200
    QCOMPARE(text(form, "Text1"), QStringLiteral("2200"));
    QCOMPARE(text(form, "Text2"), QStringLiteral("-700"));
    QCOMPARE(pixel(form, 50, 0), qRgb(0, 0, 0));
    QCOMPARE(pixel(form, 120, 0), qRgb(0, 0, 0));  // the black point stays
  }

  void ok_stores_levels_redraws_and_closes() {
    auto w = star_world();
    QPointer<Form9> form = new Form9(w->p);
    QSignalSpy applied(form.data(), &Form9::levels_applied);
    form->show();
    click(*form, Qt::RightButton, 50);  // range 1500 - 1000 = 500
    form->findChild<QLineEdit*>(QStringLiteral("Text1"))->setText(QStringLiteral("abc"));
    QTest::mouseClick(form->findChild<QPushButton*>(QStringLiteral("Command1")), Qt::LeftButton);
    QCOMPARE(w->p.frames.display_background, 0);
    QCOMPARE(w->p.frames.display_range, 500);
    QCOMPARE(w->p.form.range_caption, std::string("レンジ  ( 500 )"));
    QCOMPARE(w->ui.picture_updates, 1);
    QCOMPARE(w->ui.beeps, 1);
    QCOMPARE(applied.count(), 1);
    QTRY_VERIFY(form.isNull());  // closed and deleted
  }

  void cancel_after_clicks_changes_nothing() {
    auto w = star_world();
    QPointer<Form9> form = new Form9(w->p);
    form->show();
    click(*form, Qt::LeftButton, 100);
    click(*form, Qt::RightButton, 200);
    QTest::mouseClick(form->findChild<QPushButton*>(QStringLiteral("Command2")), Qt::LeftButton);
    QCOMPARE(w->p.frames.display_background, 1000);
    QCOMPARE(w->p.frames.display_range, 3000);
    QCOMPARE(w->p.form.range_caption, std::string("レンジ"));
    QCOMPARE(w->ui.picture_updates + w->ui.beeps, 0);
    QTRY_VERIFY(form.isNull());
  }

  void one_window_at_a_time() {
    auto w = star_world();
    QPointer<Form9> first = Form9::show_window(w->p);
    QPointer<Form9> second = Form9::show_window(w->p);
    QCOMPARE(first.data(), second.data());
    first->close();
    QTRY_VERIFY(first.isNull());
    QPointer<Form9> third = Form9::show_window(w->p);
    QVERIFY(!third.isNull());
    third->close();
    QTRY_VERIFY(third.isNull());
  }

  void empty_frame_opens_without_bars() {
    auto w = make_world();
    Form9 form(w->p);
    QCOMPARE(form.state().scale_height, std::int64_t{1});
    QCOMPARE(pixel(form, 0, 199), qRgb(255, 255, 255));
    form.Command1_Click();
    QCOMPARE(w->ui.boxes.size(), std::size_t{1});
    QCOMPARE(w->ui.boxes[0].text, std::string("You do not open the data file"));
  }
};

}  // namespace stellacq

QTEST_MAIN(stellacq::HistogramWindowTest)
#include "histogram_window_test.moc"
