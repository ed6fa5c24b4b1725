// The graph window on an offscreen screen: opened by a Shift-click, its
// buttons redraw the plot, and a second Shift-click replaces the window.
#include "image/profile_window.h"

#include <QPointer>
#include <QTest>

#include "image/tests/world.h"

namespace stellacq {

class ProfileWindowTest : public QObject {
  Q_OBJECT

  static void click(Form12* form, const char* name) {
    QTest::mouseClick(form->findChild<QPushButton*>(name), Qt::LeftButton);
  }
  // Plot row of the point in column k, or -1 when none is drawn there.
  static int row_of(const Form12* form, int k) {
    for (int y = 0; y < ProfilePlot::kHeight; ++y)
      if (form->plot().at(k * 6, y) == ProfilePlot::kPoint) return y;
    return -1;
  }

 private slots:
  void shift_click_opens_and_buttons_redraw() {
    auto w = testing::make_world();
    w->set_light(768, 512, 100);
    w->f.scan_min = 100;
    w->f.scan_max = 356;
    w->f.light_frame.at(5, 257) = 356;  // column 5 of the row below the clicked one
    QPointer<QWidget> slot;
    open_line_profile(w->p, slot, nullptr, 4, 100, 304, 201);  // frame pixel (10, 256)
    QPointer<Form12> form = qobject_cast<Form12*>(slot.data());
    QVERIFY(form && form->isVisible());
    QCOMPARE(form->windowTitle(), QStringLiteral("horizontal graph"));
    QCOMPARE(std::pair(w->p.profile.profile_x, w->p.profile.profile_y), std::pair(10, 256));
    // Each button with its caption inside its frame.
    const char* const buttons[][3] = {{"Frame1", "Command1", "U"}, {"Frame1", "Command2", "D"},
                                      {"Frame2", "Command3", "U"}, {"Frame2", "Command4", "D"},
                                      {"Frame3", "Command5", "U"}, {"Frame3", "Command6", "D"}};
    for (const auto& [frame, name, caption] : buttons) {
      auto* b = form->findChild<QGroupBox*>(frame)->findChild<QPushButton*>(name);
      QVERIFY2(b && b->text() == caption && b->accessibleDescription() == name, name);
    }
    QCOMPARE(row_of(form, 5), 270);

    click(form, "Command1");  // Line U: the next row, with its bright pixel
    QCOMPARE(w->p.profile.profile_y, 257);
    QCOMPARE(row_of(form, 5), 14);
    QCOMPARE(row_of(form, 0), 270);
    click(form, "Command5");  // Level U: up by 10
    QCOMPARE(row_of(form, 0), 260);
    click(form, "Command6");
    click(form, "Command3");  // Zoom U: 14 x 1.05 = 14.7
    QCOMPARE(form->graph().zoom, 1.05);
    QCOMPARE(row_of(form, 5), 14);
    QCOMPARE(row_of(form, 0), 283);
    click(form, "Command4");
    click(form, "Command2");  // Line D: back to the clicked row
    QCOMPARE(row_of(form, 5), 270);

    // A second Shift-click closes this window and opens a fresh one.
    open_line_profile(w->p, slot, nullptr, 300, 0, 304, 201);
    QTRY_VERIFY(form.isNull());
    auto* fresh = qobject_cast<Form12*>(slot.data());
    QVERIFY(fresh && fresh->graph().zoom == 1 && fresh->graph().level == 0);
    QCOMPARE(std::pair(w->p.profile.profile_x, w->p.profile.profile_y), std::pair(761, 0));
    delete slot.data();
  }

  void no_frame_opens_nothing() {
    auto w = testing::make_world();
    QPointer<QWidget> slot;
    open_line_profile(w->p, slot, nullptr, 4, 100, 304, 201);
    QVERIFY(slot.isNull());
  }

  void shift_alone_is_the_profile_click() {
    QVERIFY(is_profile_click(Qt::ShiftModifier));
    QVERIFY(is_profile_click(Qt::ShiftModifier | Qt::KeypadModifier));
    QVERIFY(!is_profile_click(Qt::ShiftModifier | Qt::ControlModifier));
    QVERIFY(!is_profile_click(Qt::ShiftModifier | Qt::AltModifier));
    QVERIFY(!is_profile_click(Qt::NoModifier));
  }
};

}  // namespace stellacq

QTEST_MAIN(stellacq::ProfileWindowTest)
#include "profile_window_test.moc"
