// The tracking settings dialog on an offscreen screen: its controls, the
// direction pairs, the repeat fields rewritten while typing, OK storing the
// edits, a refused OK and Cancel.
#include "guiding/tracking_dialog.h"

#include <QPointer>
#include <QtTest>

#include "app/program_parts.h"
#include "config/ini_file.h"
#include "test_support/widgets.h"
#include "test_support/world.h"

namespace stellacq {

class TrackingDialogTest : public QObject {
  Q_OBJECT
  std::unique_ptr<testing::ScratchDir> folder_;
  std::unique_ptr<testing::World> world_;
  QPointer<Form4> dialog_;
  Program& p() { return world_->p; }

  void click(const char* name) { testing::click(dialog_, name); }
  bool ticked(const char* name) { return testing::child<QCheckBox>(dialog_, name)->isChecked(); }
  QString type(const char* name, const QString& text) { return testing::type(dialog_, name, text); }

 private slots:
  void init() {
    folder_ = std::make_unique<testing::ScratchDir>();
    world_ = std::make_unique<testing::World>();
    p().ini_path = ini_path_for(folder_->path());
    Settings& s = p().settings;
    s.x_reverse = s.x_tracking_on = s.guide_dark_sub = 1;
    s.x_tracking_factor = 150, s.search_span = 10, s.aperture = 2, s.threshold = 1.5f;
    s.x_move_repeat = 2.5, s.y_move_repeat = 3;
    dialog_ = new Form4(settings_file(p()), p().ui, nullptr);
    dialog_->show();
  }
  void cleanup() { delete dialog_.data(); }

  void opens_with_the_settings_and_ok_stores_the_edits() {
    QCOMPARE(testing::child(dialog_, "Text3")->accessibleName(),
             QStringLiteral("Sarch Span"));  // from its row's caption
    QVERIFY(!ticked("Check1") && ticked("Check2") && ticked("Check3") && !ticked("Check4"));
    QVERIFY(ticked("Check5") && !ticked("Check6") && ticked("Check7"));
    QCOMPARE(testing::text(dialog_, "Text5") + testing::text(dialog_, "Text6"), " 1.52.5");

    click("Check2");  // clearing reversed ticks normal
    QVERIFY(ticked("Check1") && !ticked("Check2"));
    click("Check3");  // clearing normal ticks reversed
    QVERIFY(!ticked("Check3") && ticked("Check4"));
    click("Check6");
    type("Text1", " &H 100");
    type("Text3", "12.5");
    type("Text5", "2.75 stars");
    QCOMPARE(type("Text6", "4.5"), QStringLiteral("45"));  // the point is taken back at once
    QCOMPARE(type("Text7", ""), QStringLiteral("1"));
    QCOMPARE(p().settings.y_move_repeat, std::int16_t{1});          // stored while typing
    QCOMPARE(p().settings.search_span, std::optional<double>(10));  // the rest waits for OK

    click("Command1");
    QVERIFY(dialog_.isNull());
    const Settings& s = p().settings;
    QVERIFY(s.x_reverse == 0 && s.y_reverse == 1 && s.y_tracking_on == 1 && s.guide_dark_sub == 1);
    QVERIFY(s.x_tracking_factor == 256 && s.search_span == 12 && s.threshold == 2.75f &&
            s.x_move_repeat == 45);
  }

  void refused_ok_and_cancel_store_nothing() {
    const Settings before = p().settings;
    type("Text3", "2");  // aperture 2 is no smaller than the span
    click("Command1");
    QVERIFY(dialog_ && dialog_->isVisible());
    QCOMPARE(world_->ui.boxes.size(), std::size_t{1});
    click("Check1");
    type("Text1", "999");
    click("Command2");
    QVERIFY(dialog_.isNull());
    QVERIFY(p().settings == before && !std::filesystem::exists(p().ini_path));
  }
};

}  // namespace stellacq

QTEST_MAIN(stellacq::TrackingDialogTest)
#include "tracking_dialog_test.moc"
