// The viewer on an offscreen screen: names, what it shows at 400 % (a hot
// pixel as one square), the readout under the pointer after a pan, the
// wheel around the pointer, a click on a star and on empty sky, a new frame
// that keeps the zoom, the guide star's search window, and a reopening that
// keeps size and zoom.
#include "image/viewer_window.h"

#include <QLabel>
#include <QPointer>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTest>
#include <QWheelEvent>
#include <cmath>
#include <random>

#include "test_support/world.h"

namespace stellacq {

class ViewerWindowTest : public QObject {
  Q_OBJECT

  static constexpr int kW = 300, kH = 200;

  // A sky of 1000 with a little noise, a Gaussian star of FWHM 3 at
  // (120.3, 80.6) and a hot pixel at (40, 30); black at 900, white at 2900.
  static std::unique_ptr<testing::World> sky() {
    auto w = testing::make_world();
    w->set_light(kW, kH, 1000);
    std::mt19937 random(3);
    std::normal_distribution<double> noise(0, 10);
    for (int y = 0; y < kH; ++y)
      for (int x = 0; x < kW; ++x) {
        const double r2 = (x - 120.3) * (x - 120.3) + (y - 80.6) * (y - 80.6);
        w->f.light.counts.at(x, y) = static_cast<std::int32_t>(
            std::lround(1000 + noise(random) + 20000 * std::exp(-r2 / (2 * 1.274 * 1.274))));
      }
    w->f.light.counts.at(40, 30) = 60000;
    draw(*w, 900, 2000);
    return w;
  }
  static void draw(testing::World& w, std::int32_t background, std::int32_t range) {
    w.f.display_background = background;
    w.f.display_range = range;
    redraw_light_frame(w.p.display.shown(), w.ui);
  }

  QPointer<Form13> form_;
  std::shared_ptr<ViewerPlace> place_ = std::make_shared<ViewerPlace>();
  std::optional<FrameSquare> guide_;

  void open(testing::World& w) {
    form_ = new Form13(
        w.p.display.state(), [this] { return guide_; }, place_);
    form_->setAttribute(Qt::WA_DeleteOnClose);
    form_->show();
    QVERIFY(QTest::qWaitForWindowExposed(form_));
  }
  QWidget* viewport() { return form_->picture()->viewport(); }
  QString label(const char* name) { return form_->findChild<QLabel*>(name)->text(); }
  QRgb pixel(int x, int y) { return viewport()->grab().toImage().pixel(x, y); }
  // The viewport point whose centre lies over frame point (x, y).
  QPoint over(double x, double y) {
    const ViewPoint s = form_->view().to_screen({x, y});
    return {static_cast<int>(std::floor(s.x)), static_cast<int>(std::floor(s.y))};
  }
  // A red arm of the centroid's cross 5 pixels right of screen point over(x, y).
  bool cross_near(double x, double y) {
    const QImage shot = viewport()->grab().toImage();
    const QPoint c = over(x, y);
    for (int dy = -1; dy <= 1; ++dy)
      if (shot.pixel(c.x() + 5, c.y() + dy) == qRgb(255, 40, 40)) return true;
    return false;
  }
  void wheel(QPoint at, int delta) {
    QWheelEvent e(at, viewport()->mapToGlobal(at), {}, {0, delta}, Qt::NoButton, Qt::NoModifier,
                  Qt::NoScrollPhase, false);
    QApplication::sendEvent(viewport(), &e);
  }

 private slots:
  void cleanup() {
    delete form_.data();
    place_ = std::make_shared<ViewerPlace>();
    guide_.reset();
  }

  void namesAndTheFitView() {
    auto w = sky();
    open(*w);
    QCOMPARE(form_->windowTitle(), QStringLiteral("拡大表示"));
    for (const char* name : {"Form13", "Picture1", "Label1", "Label2", "Label3"}) {
      QObject* o = QString(name) == "Form13" ? form_.data() : form_->findChild<QObject*>(name);
      QVERIFY2(o, name);
      QCOMPARE(static_cast<QWidget*>(o)->accessibleDescription(), QString(name));
    }
    QCOMPARE(form_->picture()->accessibleName(), QStringLiteral("ライトフレーム 300 x 200"));
    // 300 x 200 fills the window at about 250 %.
    QVERIFY(form_->view().zoom() > 2);
    QCOMPARE(label("Label2"), QString::fromStdString(form_->view().zoom_text()));
    QVERIFY(label("Label2").startsWith("fit 2"));
    const ZoomView& v = form_->view();  // the whole frame shows, filling one way
    QVERIFY(v.content_width() == v.viewport_width() || v.content_height() == v.viewport_height());
    QCOMPARE(v.max_scroll_x() + v.max_scroll_y(), 0);
  }

  void zoomKeysSquaresAndReadoutAfterAPan() {
    auto w = sky();
    open(*w);
    QWidget* area = form_->picture();
    QTest::keyClick(area, Qt::Key_1);
    QCOMPARE(label("Label2"), QStringLiteral("100%"));
    QTest::keyClick(area, Qt::Key_Plus);
    QTest::keyClick(area, Qt::Key_Plus);
    QCOMPARE(label("Label2"), QStringLiteral("400%"));
    // Frame pixel (38, 28) at the top-left: the hot pixel (40, 30) is the
    // square from (8, 8) to (11, 11), its neighbours dark sky.
    form_->picture()->horizontalScrollBar()->setValue(38 * 4);
    form_->picture()->verticalScrollBar()->setValue(28 * 4);
    const QImage shot = viewport()->grab().toImage();
    for (const QPoint p : {QPoint(8, 8), QPoint(11, 11)}) QCOMPARE(shot.pixel(p), qRgb(255, 255, 255));
    for (const QPoint p : {QPoint(7, 8), QPoint(12, 11), QPoint(8, 12)}) QVERIFY(qGray(shot.pixel(p)) < 30);
    // A drag of 40 to the right and 20 down moves the frame with the pointer.
    QTest::mousePress(viewport(), Qt::LeftButton, {}, QPoint(100, 100));
    QTest::mouseMove(viewport(), QPoint(120, 110));
    QTest::mouseMove(viewport(), QPoint(140, 120));
    QTest::mouseRelease(viewport(), Qt::LeftButton, {}, QPoint(140, 120));
    QCOMPARE(std::pair(form_->view().scroll_x(), form_->view().scroll_y()),
             std::pair(38 * 4 - 40, 28 * 4 - 20));
    QCOMPARE(form_->picture()->horizontalScrollBar()->value(), 38 * 4 - 40);
    QCOMPARE(label("Label3"), QStringLiteral("星をクリックすると測定します"));  // a drag measures nothing
    // The readout under the pointer: at (21, 9) of the viewport, frame
    // column (21 + 112) / 4 = 33 and row (9 + 92) / 4 = 25.
    QTest::mouseMove(viewport(), QPoint(21, 9));
    QCOMPARE(label("Label1"), QString::fromStdString(" 33 25" + decimal_text(w->f.light.counts.at(33, 25))));
    QTest::keyClick(area, Qt::Key_Minus);
    QCOMPARE(label("Label2"), QStringLiteral("200%"));
    QTest::keyClick(area, Qt::Key_0);
    QVERIFY(label("Label2").startsWith("fit "));
  }

  void wheelZoomsAroundThePointer() {
    auto w = sky();
    open(*w);
    QTest::keyClick(form_->picture(), Qt::Key_1);
    const QPoint at = over(120.5, 80.5);
    wheel(at, 120);
    QCOMPARE(label("Label2"), QStringLiteral("200%"));
    const ViewPoint before = form_->view().to_frame({at.x() + 0.5, at.y() + 0.5});
    wheel(at, 60);
    wheel(at, 60);  // half notches add up
    QCOMPARE(label("Label2"), QStringLiteral("400%"));
    // The frame overfills the window at 400 %: the point stays under the pointer.
    const ViewPoint after = form_->view().to_frame({at.x() + 0.5, at.y() + 0.5});
    QVERIFY(std::abs(after.x - before.x) <= 0.5 && std::abs(after.y - before.y) <= 0.5);
    wheel(at, -240);
    QCOMPARE(label("Label2"), QStringLiteral("100%"));
  }

  void clickMeasuresAndANewFrameKeepsTheZoom() {
    auto w = sky();
    open(*w);
    QTest::keyClick(form_->picture(), Qt::Key_1);
    QTest::mouseClick(viewport(), Qt::LeftButton, {}, over(124.5, 77.5));  // 4 pixels off the star
    QVERIFY(form_->star().found);
    QVERIFY(std::abs(form_->star().x - 120.3) < 0.1 && std::abs(form_->star().y - 80.6) < 0.1);
    QVERIFY(std::abs(form_->star().fwhm - 3) < 0.15);
    const QRegularExpression line(
        R"(^x \d+\.\d y \d+\.\d FWHM \d+\.\d\d px HFR \d+\.\d\d px peak \d+ SNR \d+$)");
    QVERIFY2(line.match(label("Label3")).hasMatch(), qPrintable(label("Label3")));
    QVERIFY(cross_near(120.8, 81.1));
    const int scroll_x = form_->view().scroll_x(), scroll_y = form_->view().scroll_y();

    // The next frame of a series: the star one pixel to the right; the zoom,
    // the place and the measurement follow.
    for (int y = 0; y < kH; ++y)
      for (int x = kW - 1; x > 0; --x) w->f.light.counts.at(x, y) = w->f.light.counts.at(x - 1, y);
    draw(*w, 900, 2000);
    form_->picture_changed();
    QCOMPARE(label("Label2"), QStringLiteral("100%"));
    QCOMPARE(std::pair(form_->view().scroll_x(), form_->view().scroll_y()), std::pair(scroll_x, scroll_y));
    QVERIFY(std::abs(form_->star().x - 121.3) < 0.1 && std::abs(form_->star().y - 80.6) < 0.1);
    QVERIFY(cross_near(121.8, 81.1));

    // Empty sky and a hot pixel are no stars.
    QTest::mouseClick(viewport(), Qt::LeftButton, {}, over(160.5, 140.5));
    QCOMPARE(label("Label3"), QStringLiteral("星が見つかりません"));
    QVERIFY(!form_->star().found);
  }

  void levelsOfTheMainWindowAndTheGuideWindow() {
    auto w = sky();
    guide_ = FrameSquare{110, 70, 130, 90};
    open(*w);
    QTest::keyClick(form_->picture(), Qt::Key_1);
    const QPoint sky_at = over(60.5, 150.5);
    const int grey = qGray(pixel(sky_at.x(), sky_at.y()));
    QVERIFY(grey > 5 && grey < 30);  // (1000 - 900) / 2000 * 256
    QCOMPARE(pixel(over(110, 80).x(), over(110, 80).y()), qRgb(0, 200, 0));
    QCOMPARE(pixel(over(131, 80).x() - 1, over(131, 80).y()), qRgb(0, 200, 0));
    // New levels in the main window show here too; the lock's end takes
    // the square away.
    draw(*w, 0, 100000);
    guide_.reset();
    form_->picture_changed();
    QVERIFY(qGray(pixel(sky_at.x(), sky_at.y())) <= 3);  // 1000 / 100000 * 256 = 2.56
    const QColor edge(pixel(over(110, 80).x(), over(110, 80).y()));
    QVERIFY(edge.red() == edge.green() && edge.green() == edge.blue());
    // The dark frame shown in the main window shows here.
    w->set_dark(kW / 2, kH / 2, 300);
    w->p.display.image_menu_display_dark_Click();
    form_->picture_changed();
    QCOMPARE(form_->picture()->accessibleName(), QStringLiteral("ダークフレーム 150 x 100"));
    QCOMPARE(form_->view().frame_width(), kW / 2);
  }

  void reopensWithItsSizeAndZoom() {
    auto w = sky();
    open(*w);
    form_->resize(640, 480);
    QTest::keyClick(form_->picture(), Qt::Key_1);
    QTest::keyClick(form_->picture(), Qt::Key_Plus);
    form_->close();
    QTRY_VERIFY(form_.isNull());
    open(*w);
    QCOMPARE(form_->size(), QSize(640, 480));
    QCOMPARE(label("Label2"), QStringLiteral("200%"));
  }
};

}  // namespace stellacq

QTEST_MAIN(stellacq::ViewerWindowTest)
#include "viewer_window_test.moc"
