// The line-profile window's buttons, clicked as a person clicks them: each
// framed pair moves what its frame names, in its direction, and redraws.
#include "image/profile_window.h"

#include <QGroupBox>
#include <QPushButton>
#include <QTest>

#include "test_support/world.h"

namespace stellacq {

class ProfileWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void each_button_moves_its_own_setting() {
    testing::World w;
    Frames& f = w.p.frames;
    f.light.width = 384, f.light.height = 256;
    for (int y = 0; y < 256; ++y)
      for (int x = 0; x < 384; ++x) f.light.counts.at(x, y) = (x * 37 + y * 11) % 500;
    f.scan_min = 0, f.scan_max = 499;
    w.p.profile = ProfilePoint{100, 1};
    Form12 form(w.p.frames, w.p.profile);
    form.show();

    // Clicks in order, with the row, zoom and level after each; where a
    // setting stops is ProfileButtons.RowStaysInTheFrameAndZoomReturns.
    const struct {
      const char *frame, *button;
      int row;
      double zoom;
      int level;
    } clicks[] = {
        {"Frame1", "Command1", 2, 1.0, 0},    // Line U
        {"Frame1", "Command2", 1, 1.0, 0},    // Line D
        {"Frame2", "Command3", 1, 1.05, 0},   // Zoom U
        {"Frame2", "Command4", 1, 1.0, 0},    // Zoom D
        {"Frame3", "Command5", 1, 1.0, -10},  // Level U
        {"Frame3", "Command6", 1, 1.0, 0},    // Level D
    };
    for (const auto& c : clicks) {
      const std::vector<std::uint32_t> before = form.plot().pixels;
      auto* button = form.findChild<QGroupBox*>(c.frame)->findChild<QPushButton*>(c.button);
      QVERIFY(button);
      QTest::mouseClick(button, Qt::LeftButton);
      const QByteArray at = QByteArray(c.frame) + " " + c.button;
      QVERIFY2(w.p.profile.profile_y == c.row, at);
      QVERIFY2(qAbs(form.graph().zoom - c.zoom) < 1e-12, at);
      QVERIFY2(form.graph().level == c.level, at);
      QVERIFY2(form.plot().pixels != before, at);  // every change shows at once
    }
  }
};

}  // namespace stellacq

QTEST_MAIN(stellacq::ProfileWindowTest)
#include "profile_window_test.moc"
