// The histogram window on an offscreen screen: bars, clicks with their
// erase-and-redraw, and OK.
#include "image/histogram_window.h"

#include <QLineEdit>
#include <QPointer>
#include <QTest>

#include "core/numeric.h"
#include "test_support/world.h"

namespace stellacq {

class HistogramWindowTest : public QObject {
  Q_OBJECT

  QPointer<Form9> form_;

  QString fields() {
    const auto text = [this](const char* name) { return form_->findChild<QLineEdit*>(name)->text(); };
    return text("Text1") + " " + text("Text2");
  }
  QRgb pixel(int x, int y) { return form_->picture()->image().pixel(x, y); }
  void open(testing::World& w) {
    form_ = new Form9(w.p.display, w.p.ui);
    form_->setAttribute(Qt::WA_DeleteOnClose);
    form_->show();
  }
  void click(Qt::MouseButton button, int x) {
    QTest::mouseClick(form_->picture(), button, Qt::NoModifier, QPoint(x, 100));
  }

 private slots:
  void opens_with_the_bars_and_clicks_set_the_levels() {
    // 10 x 10: scan_min 1000 (90 pixels), 2500 (bin 150, 9 pixels) and
    // scan_max 4000 (bin 300); levels 1000 and 3000.
    auto w = testing::make_world();
    w->set_light(10, 10, 1000);
    for (int x = 0; x < 9; ++x) w->f.light.counts.at(x, 5) = 2500;
    w->f.light.counts.at(9, 9) = 4000;
    w->f.scan_min = w->f.display_background = 1000;
    w->f.scan_max = 4000;
    w->f.display_range = 3000;
    open(*w);
    QCOMPARE(fields(), QStringLiteral("1000 3000"));
    QCOMPARE(pixel(0, 3), qRgb(0, 255, 0));          // 90 of 91: nearly full height
    QCOMPARE(pixel(150, 170), qRgb(255, 255, 255));  // 9 of 91: about 20 pixels
    QCOMPARE(pixel(299, 199), qRgb(255, 255, 255));  // bin 300 is not drawn

    click(Qt::LeftButton, 150);  // 2500
    QCOMPARE(fields(), QStringLiteral("2500 1500"));
    click(Qt::LeftButton, 100);  // 2000: erases 150 and draws its bar again; white stays at 4000
    QCOMPARE(fields(), QStringLiteral("2000 2000"));
    QCOMPARE(pixel(150, 0), qRgb(255, 255, 255));
    QCOMPARE(pixel(150, 199), qRgb(0, 255, 0));
    QCOMPARE(pixel(100, 0), qRgb(0, 0, 0));
    click(Qt::RightButton, 50);  // 1500
    QCOMPARE(fields(), QStringLiteral("2000 -500"));
    QCOMPARE(pixel(100, 0), qRgb(0, 0, 0));  // the black point stays
    QTest::mouseClick(form_->findChild<QPushButton*>("Command1"), Qt::LeftButton);
    QCOMPARE(std::pair(w->f.display_background, w->f.display_range), std::pair(2000, -500));
    QCOMPARE(w->p.form.range_caption, std::string("レンジ  (-500 )"));
    QCOMPARE(w->ui.picture_updates + w->ui.beeps, 2);
    QTRY_VERIFY(form_.isNull());  // closed and deleted
  }

  void aFractionalClickErasesAndRedrawsTheSameColumn() {
    // One pixel in every bin (bars half the height); markers at 150.6, then elsewhere:
    // the erased column gets its bar back (column 151, as the bar's bin).
    auto w = testing::make_world();
    w->set_light(301, 1, 0);
    for (int x = 0; x <= 300; ++x) w->f.light.counts.at(x, 0) = x * 10;
    w->f.scan_min = 0;
    w->f.scan_max = 3000;
    open(*w);
    for (const double X : {150.6, 149.5, 0.4}) {
      form_->Picture1_MouseDown(Qt::LeftButton, X);
      QCOMPARE(pixel(static_cast<int>(round_half_even(X)), 0), qRgb(0, 0, 0));
    }
    for (const int column : {150, 151})  // both bars whole again, bottom to top of the bar
      QCOMPARE(std::pair(pixel(column, 199), pixel(column, 0)),
               std::pair(qRgb(0, 255, 0), qRgb(255, 255, 255)));
    form_->close();
  }
};

}  // namespace stellacq

QTEST_MAIN(stellacq::HistogramWindowTest)
#include "histogram_window_test.moc"
