// The histogram window on an offscreen screen: bars, clicks with their
// erase-and-redraw, OK and Cancel.
#include "image/histogram_window.h"

#include <QLineEdit>
#include <QPointer>
#include <QTest>

#include "image/tests/world.h"

namespace stellacq {

class HistogramWindowTest : public QObject {
  Q_OBJECT

 private:
  // 10 x 10: scan_min 1000 (90 pixels), 2500 (bin 150, 9 pixels) and
  // scan_max 4000 (bin 300); levels 1000 and 3000.
  std::unique_ptr<testing::World> w_;
  QPointer<Form9> form_;

  void open() {
    w_ = testing::make_world();
    w_->set_light(10, 10, 1000);
    for (int x = 0; x < 9; ++x) w_->f.light_frame.at(x, 5) = 2500;
    w_->f.light_frame.at(9, 9) = 4000;
    w_->f.scan_min = 1000;
    w_->f.scan_max = 4000;
    w_->f.display_background = 1000;
    w_->f.display_range = 3000;
    form_ = new Form9(w_->p);
    form_->show();
  }
  QLineEdit* field(const char* name) { return form_->findChild<QLineEdit*>(name); }
  QString fields() { return field("Text1")->text() + " " + field("Text2")->text(); }
  QRgb pixel(int x, int y) { return form_->picture()->image().pixel(x, y); }
  void click(Qt::MouseButton button, int x) {
    QTest::mouseClick(form_->picture(), button, Qt::NoModifier, QPoint(x, 100));
  }
  void press(const char* button) {
    QTest::mouseClick(form_->findChild<QPushButton*>(button), Qt::LeftButton);
  }

 private slots:
  void opens_with_levels_and_bars_and_cancel_changes_nothing() {
    open();
    QCOMPARE(fields(), QStringLiteral("1000 3000"));
    QCOMPARE(form_->state().scale_height, std::int64_t{91});
    QCOMPARE(pixel(0, 3), qRgb(0, 255, 0));  // 90 of 91: nearly full height
    QCOMPARE(pixel(150, 170), qRgb(255, 255, 255));  // 9 of 91: about 20 pixels
    QCOMPARE(pixel(299, 199), qRgb(255, 255, 255));  // bin 300 is not drawn
    click(Qt::LeftButton, 100);
    click(Qt::RightButton, 200);
    press("Command2");
    QCOMPARE(w_->f.display_background + w_->f.display_range, 4000);
    QCOMPARE(w_->p.form.range_caption, std::string("レンジ"));
    QCOMPARE(w_->ui.picture_updates + w_->ui.beeps, 0);
    QTRY_VERIFY(form_.isNull());
  }

  void clicks_then_ok() {
    open();
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
    press("Command1");
    QCOMPARE(std::pair(w_->f.display_background, w_->f.display_range), std::pair(2000, -500));
    QCOMPARE(w_->p.form.range_caption, std::string("レンジ  (-500 )"));
    QCOMPARE(w_->ui.picture_updates + w_->ui.beeps, 2);
    QTRY_VERIFY(form_.isNull());  // closed and deleted
  }
};

}  // namespace stellacq

QTEST_MAIN(stellacq::HistogramWindowTest)
#include "histogram_window_test.moc"
