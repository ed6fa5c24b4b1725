// The tracking settings dialog on an offscreen screen: its controls, the
// direction pairs, the repeat fields rewritten while typing, OK writing the
// settings file, a refused OK and Cancel.
#include "guiding/tracking_dialog.h"

#include <QPointer>
#include <QtTest>

#include "config/ini_file.h"
#include "core/tests/offline_world.h"

namespace stellacq {

class TrackingDialogTest : public QObject {
  Q_OBJECT
  std::unique_ptr<testing::ScratchDir> folder_;
  std::unique_ptr<testing::OfflineWorld> world_;
  Program& p() { return world_->p; }

  QPointer<Form4> open() {
    auto* dialog = new Form4(p(), nullptr);
    dialog->show();
    return dialog;
  }
  template <typename W = QWidget>
  static W* control(QWidget* dialog, const char* name) {
    return dialog->findChild<W*>(QString::fromLatin1(name));
  }
  // Clicks near the left edge, where a check box's indicator is.
  static void click(QWidget* dialog, const char* name) {
    QWidget* w = control(dialog, name);
    QTest::mouseClick(w, Qt::LeftButton, Qt::NoModifier, QPoint(8, w->height() / 2));
  }
  static bool ticked(QWidget* dialog, const char* name) {
    return control<QCheckBox>(dialog, name)->isChecked();
  }
  static void type(QWidget* dialog, const char* name, const QString& text) {
    auto* field = control<QLineEdit>(dialog, name);
    field->selectAll();  // the first key replaces the old text
    if (text.isEmpty())
      QTest::keyClick(field, Qt::Key_Backspace);
    else
      QTest::keyClicks(field, text);
  }
  static QString text(QWidget* dialog, const char* name) { return control<QLineEdit>(dialog, name)->text(); }
  static void settle() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

 private slots:
  void init() {
    folder_ = std::make_unique<testing::ScratchDir>();
    world_ = std::make_unique<testing::OfflineWorld>();
    p().ini_path = ini_path_for(folder_->path());
    Settings& s = p().settings;
    s.x_reverse = 1;
    s.x_tracking_on = 1;
    s.guide_dark_sub = 1;
    s.x_tracking_factor = 150;
    s.y_tracking_factor = 90;
    s.search_span = 10;
    s.aperture = 2;
    s.threshold = 1.5f;
    s.x_move_repeat = 2.5;
    s.y_move_repeat = 3;
  }
  void cleanup() { settle(); }

  void controls_carry_their_names_and_captions() {
    Form4 dialog(p());
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Tracking Factor Setting"));
    const std::pair<const char*, const char*> captions[] = {
        {"Label1", "(RA) X Axis"},
        {"Label2", "(RD) Y Axis"},
        {"Check1", " 正転"},
        {"Check2", " 逆転"},
        {"Check3", " 正転"},
        {"Check4", " 逆転"},
        {"Check5", "ﾄﾗｯｷﾝｸﾞする"},
        {"Check6", "ﾄﾗｯｷﾝｸﾞする"},
        {"Label3", "X : Tracking factor"},
        {"Label4", "Y : Tracking factor"},
        {"Label5", "Sarch Span"},
        {"Label6", "Aperture"},
        {"Label7", "Threshold"},
        {"Label8", "x"},
        {"Label9", "x"},
        {"Check7", " ﾀﾞｰｸ除去して表示"},
        {"Check8", "ﾌﾗｯﾄ処理して表示"},
        {"Check9", " 5ﾋﾟｸｾﾙ以内のｽﾞﾚは追尾しない"},
        {"Command1", "OK"},
        {"Command2", "Cancel"},
    };
    for (const auto& [name, caption] : captions) {
      QWidget* w = control(&dialog, name);
      QVERIFY2(w, name);
      QCOMPARE(w->accessibleName(), QString::fromUtf8(caption));
      QCOMPARE(w->accessibleDescription(), QString::fromLatin1(name));
    }
    for (const char* name : {"Text1", "Text2", "Text3", "Text4", "Text5", "Text6", "Text7", "Line2", "Line3"})
      QVERIFY2(control(&dialog, name), name);
  }

  void opens_with_the_settings_and_ok_writes_the_file() {
    QPointer<Form4> dialog = open();
    QVERIFY(!ticked(dialog, "Check1") && ticked(dialog, "Check2"));  // X reversed
    QVERIFY(ticked(dialog, "Check3") && !ticked(dialog, "Check4"));
    QVERIFY(ticked(dialog, "Check5") && !ticked(dialog, "Check6") && ticked(dialog, "Check7"));
    const QString opening[] = {" 150", " 90", " 10", " 2", " 1.5", "2.5", "3"};
    for (int i = 0; i < 7; ++i) QCOMPARE(text(dialog, qPrintable(QString("Text%1").arg(i + 1))), opening[i]);

    click(dialog, "Check2");  // clearing reversed ticks normal
    QVERIFY(ticked(dialog, "Check1") && !ticked(dialog, "Check2"));
    click(dialog, "Check3");  // clearing normal ticks reversed
    QVERIFY(!ticked(dialog, "Check3") && ticked(dialog, "Check4"));
    click(dialog, "Check6");
    click(dialog, "Check9");
    type(dialog, "Text1", " &H 100");
    type(dialog, "Text3", "12.5");
    type(dialog, "Text4", "3");
    type(dialog, "Text5", "2.75 stars");
    type(dialog, "Text6", "4.5");  // the point is taken back at once
    QCOMPARE(text(dialog, "Text6"), QStringLiteral("45"));
    type(dialog, "Text7", "");
    QCOMPARE(text(dialog, "Text7"), QStringLiteral("1"));
    QCOMPARE(p().settings.y_move_repeat, std::int16_t{1});          // stored while typing
    QCOMPARE(p().settings.search_span, std::optional<double>(10));  // the rest waits for OK

    click(dialog, "Command1");
    settle();
    QVERIFY(dialog.isNull());
    const Settings& s = p().settings;
    QCOMPARE(s.x_reverse, std::int16_t{0});
    QCOMPARE(s.y_reverse, std::int16_t{1});
    QVERIFY(s.x_tracking_on == 1 && s.y_tracking_on == 1 && s.small_shift_ignore == 1 &&
            s.guide_flat_sub == 0);
    QCOMPARE(s.x_tracking_factor, 256);
    QCOMPARE(s.search_span, std::optional<double>(12));
    QCOMPARE(s.aperture, std::int16_t{3});
    QCOMPARE(s.threshold, 2.75f);
    QCOMPARE(s.x_move_repeat, 45.0);
    QCOMPARE(testing::file_bytes(p().ini_path), settings_file_text(s));
  }

  void refused_ok_and_cancel_store_nothing() {
    const Settings before = p().settings;
    QPointer<Form4> dialog = open();
    type(dialog, "Text3", "2");  // aperture 2 is no smaller than the span
    click(dialog, "Command1");
    settle();
    QVERIFY(dialog && dialog->isVisible());
    QCOMPARE(world_->ui.boxes.size(), std::size_t{1});
    QVERIFY(world_->ui.boxes[0].text.find("Aperture") != std::string::npos);
    QVERIFY(p().settings == before && !std::filesystem::exists(p().ini_path));

    click(dialog, "Check1");
    type(dialog, "Text1", "999");
    click(dialog, "Command2");
    settle();
    QVERIFY(dialog.isNull());
    QVERIFY(p().settings == before && !std::filesystem::exists(p().ini_path));
  }
};

}  // namespace stellacq

QTEST_MAIN(stellacq::TrackingDialogTest)
#include "tracking_dialog_test.moc"
