// The main window as a person meets it: its caption, controls and menu tree,
// the port dialogs at start-up, and a frame taken from the simulated unit.
#include "app/main_window.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include "app/program.h"
#include "app/qt_interaction.h"
#include "config/ini_file.h"
#include "fits/header_tables.h"
#include "image/viewer_window.h"
#include "sim/observatory.h"
#include "test_support/widgets.h"

namespace stellacq {

using testing::top_level;

class MainWindowTest : public QObject {
  Q_OBJECT

  // The program on the simulated observatory, with the window's own
  // interaction so that boxes and the status line are the real ones.
  // Exposures end at once; `timed` ones take their time, the unit's clock
  // running with the program's (both move 61 us a reading, and both by the
  // rests of the exposure wait).
  struct World {
    explicit World(bool timed = false) : timed(timed) {
      clock.auto_step_us = timed ? 61 : 1000;
      unit_clock.auto_step_us = 61;
      clock.on_sleep = [this](std::int64_t us) { unit_clock.advance_us(us); };
    }
    static sim::ObservatoryOptions options(bool timed) {
      sim::ObservatoryOptions o;
      o.unit.instant_exposures = !timed, o.unit.record = timed;
      return o;
    }
    const bool timed;
    ManualClock clock;
    ManualClock unit_clock;
    sim::Observatory observatory{timed ? unit_clock : clock, options(timed)};
    QtInteraction ui;
    RecordingBusyCount busy;
    Program program{{observatory.parallel_port(), clock, ui, busy, observatory.serial_line()}};
  };

  // The main window on a world of its own, in a folder of its own. With
  // `ports` the INI file there chooses COM1 and 0x378 and the load step runs.
  struct Window {
    explicit Window(bool ports = false, bool timed = false) : w(timed) {
      if (!ports) return;
      write_ini(dir.path(), 1, 2);
      form.Form_Load();
    }
    QTemporaryDir dir;
    World w;
    Form1 form{w.program, w.ui, dir.path().toStdString()};
  };

  static void write_ini(const QString& dir, int com_port, int parallel_port) {
    Settings s;
    s.com_port = static_cast<std::int16_t>(com_port),
    s.parallel_port = static_cast<std::int16_t>(parallel_port);
    s.unit_model = s.head_model = 16;
    QVERIFY(write_settings_file(ini_path_for(dir.toStdString()), s));
  }

 private slots:
  void caption_fields_and_menu_tree() {
    Window s;
    Form1& form = s.form;
    QCOMPARE(form.windowTitle(), QStringLiteral(" STELLACQ ver2.4"));
    auto* cooling = form.findChild<QLineEdit*>("Text3");
    QVERIFY(cooling && cooling->text() == "-10" && cooling->accessibleDescription() == "Text3");
    QVERIFY(form.findChild<QRadioButton*>("Option2")->isChecked());
    // The whole menu tree by object name in menu order, each menu's items in
    // brackets after it: a command has none, the telescope one on the bar too.
    const std::function<QString(const QList<QAction*>&)> tree = [&](const QList<QAction*>& actions) {
      QStringList items;
      for (QAction* a : actions)
        items << a->objectName() + (a->menu() ? "(" + tree(a->menu()->actions()) + ")" : "");
      return items.join(' ');
    };
    QCOMPARE(tree(form.menuBar()->actions()),
             QStringLiteral(
                 "file_menu(file_menu_open(file_menu_open_light file_menu_open_dark file_menu_open_flat) "
                 "file_menu_save(file_menu_save_light file_menu_save_dark) file_menu_end) "
                 "camera_menu(camera_menu_link camera_menu_link_sumi camera_menu_cool camera_menu_cool_stop) "
                 "exp_menu(exp_menu_one exp_menu_dark exp_menu_grab exp_menu_grab_num exp_menu_grab_program "
                 "exp_menu_grab_stop exp_menu_grab_auto exp_menu_grab_auto_stop) "
                 "image_menu(image_menu_display(image_menu_display_auto image_menu_display_manual("
                 "image_menu_display_manual_bright image_menu_display_manual_range "
                 "image_menu_display_manual_background)) image_menu_display_dark image_menu_display_dark_sub "
                 "image_menu_display_flat image_menu_display_flat_sub image_menu_view_full) telescope_menu "
                 "config_menu(config_menu_para config_menu_cu config_menu_serial config_menu_track "
                 "config_menu_file)"));
    // Captions whose odd characters (a full-width minus for the long vowel,
    // half-width kana) are easily "corrected" by mistake.
    QCOMPARE(form.menu_action("exp_menu_dark")->text(), QStringLiteral("ダークフレ－ム撮影"));
    QCOMPARE(form.menu_action("config_menu_serial")->text(),
             QStringLiteral("ｼﾘｱﾙﾎﾟｰﾄ設定 (SkySensor2000PC)"));
  }

  // The parallel port unset, then the COM port unset.
  void start_up_opens_the_port_dialogs_that_are_not_chosen() {
    for (const auto& [com_port, parallel_port] : {std::pair(1, 0), {0, 2}}) {
      QTemporaryDir dir;
      write_ini(dir.path(), com_port, parallel_port);
      World w;
      Form1 form(w.program, w.ui, dir.path().toStdString());
      form.show();
      form.Form_Load();
      QCOMPARE(std::pair(top_level("Form5") != nullptr, top_level("Form2") != nullptr),
               std::pair(com_port == 0, parallel_port == 0));
      QVERIFY(!form.menu_action("exp_menu_grab_auto")->isEnabled() &&
              !form.menu_action("exp_menu_grab_auto_stop")->isEnabled());
      for (QWidget* top : QApplication::topLevelWidgets())
        if (top != &form) top->close();
    }
  }

  // Every window opened from a menu is one of its kind: a second command
  // raises the window that is open, and the file dialog takes the operation
  // and caption of the command that showed it last.
  void menu_windows_are_one_of_a_kind() {
    Window s;
    auto& [dir, w, form] = s;
    const auto count = [](const char* name) {
      return std::ranges::count_if(QApplication::topLevelWidgets(),
                                   [&](QWidget* top) { return top->objectName() == QLatin1String(name); });
    };
    const std::pair<const char*, const char*> rows[] = {
        {"config_menu_para", "Form2"},     {"config_menu_serial", "Form5"},
        {"config_menu_cu", "Form7"},       {"config_menu_file", "Form8"},
        {"config_menu_track", "Form4"},    {"image_menu_display_manual_bright", "Form9"},
        {"file_menu_open_light", "Form3"}, {"exp_menu_grab_program", "Form11"},
        {"image_menu_view_full", "Form13"}};
    for (const auto& [item, window] : rows) {
      form.menu_action(item)->trigger();
      form.menu_action(item)->trigger();
      QVERIFY2(count(window) == 1 && top_level(window), window);
    }
    form.menu_action("file_menu_save_dark")->trigger();
    QCOMPARE(count("Form3"), 1);
    QCOMPARE(top_level("Form3")->windowTitle(), QStringLiteral("Dark File save"));
    QCOMPARE(w.program.file.file_mode, kSaveDark);
    top_level("Form2")->close();  // a closed window is made afresh next time
    testing::settle();
    QCOMPARE(count("Form2"), 0);
    form.menu_action("config_menu_para")->trigger();
    QCOMPARE(count("Form2"), 1);
  }

  // What the user types reaches the logic, and what the logic rewrites
  // reaches the window: the shutter field, the status line and the picture.
  void light_frame_from_the_menu_round_trips_the_fields() {
    Window s(true);
    auto& [dir, w, form] = s;
    form.camera_menu_link_sumi_Click();
    auto* shutter = form.findChild<QLineEdit*>("Text5");
    shutter->selectAll();
    QTest::keyClicks(shutter, QStringLiteral("2.7"));
    form.menu_action("exp_menu_one")->trigger();
    QCOMPARE(shutter->text(), QStringLiteral(" 2"));
    QCOMPARE(form.findChild<QLineEdit*>("Text7")->text(), QStringLiteral(" 撮影終了しました"));
    QCOMPARE(w.program.frames.light.width, 768);
    const QImage shown = form.findChild<QWidget*>("Picture1")->grab().toImage();
    int lit = 0;
    for (int x = 0; x < 300; x += 3)
      for (int y = 0; y < 200; y += 3) lit += qGray(shown.pixel(x, y)) > 0;
    QVERIFY(lit > 100);
    // The viewer shows the frame and follows the next one at its zoom.
    form.menu_action("image_menu_view_full")->trigger();
    auto* viewer = qobject_cast<Form13*>(top_level("Form13"));
    QVERIFY(viewer && viewer->windowTitle() == QStringLiteral("拡大表示"));
    QCOMPARE(viewer->picture()->accessibleName(), QStringLiteral("ライトフレーム 768 x 512"));
    QTest::keyClick(viewer->picture(), Qt::Key_1);
    QTest::keyClick(viewer->picture(), Qt::Key_Plus);
    const std::vector<std::uint8_t> first = viewer->grey().grey;
    form.menu_action("exp_menu_one")->trigger();
    QCOMPARE(viewer->findChild<QLabel*>("Label2")->text(), QStringLiteral("200%"));
    QVERIFY(viewer->grey().grey.size() == first.size() && viewer->grey().grey != first);
  }

  // Shift alone, with any button, opens the line profile (Shift with Ctrl
  // belongs to the guide-star lock, below).
  void shift_alone_opens_the_line_profile() {
    Window s;
    auto& [dir, w, form] = s;
    form.show();
    w.program.frames.light.width = 768, w.program.frames.light.height = 512;
    auto* picture = form.findChild<QWidget*>("Picture1");
    QTest::mouseClick(picture, Qt::RightButton, Qt::ShiftModifier, QPoint(100, 100));
    QPointer<QWidget> graph = top_level("Form12");
    QVERIFY(graph && graph->windowTitle() == "horizontal graph");
    QCOMPARE(std::pair(w.program.profile.profile_x, w.program.profile.profile_y), std::pair(253, 256));
    auto* line_up = graph->findChild<QWidget*>("Frame1")->findChild<QPushButton*>("Command1");
    QTest::mouseClick(line_up, Qt::LeftButton);
    QCOMPARE(w.program.profile.profile_y, 257);
    // A second Shift-click replaces the window.
    QTest::mouseClick(picture, Qt::LeftButton, Qt::ShiftModifier, QPoint(4, 100));
    QTRY_VERIFY(graph.isNull() && top_level("Form12"));
    QCOMPARE(w.program.profile.profile_x, 10);
  }

  // A click on the picture locks the star under it with the tracking status
  // window and the auto-guiding menu items; Shift with Ctrl releases it;
  // Shift alone neither locks nor releases.
  void clicks_on_the_picture_lock_and_release_the_guide_star() {
    Window s(true);
    auto& [dir, w, form] = s;
    form.show();
    Frames& f = w.program.frames;
    f.light.width = 384, f.light.height = 256;
    for (int y = 0; y < 256; ++y)
      for (int x = 0; x < 384; ++x) f.light.counts.at(x, y) = 100;
    w.program.settings.search_span = 10, w.program.settings.aperture = 2;
    int answered = 0;
    QTimer answer;
    connect(&answer, &QTimer::timeout, [&] {
      if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
        ++answered;
        box->button(QMessageBox::Ok)->click();
      }
    });
    answer.start(10);
    QWidget* picture = form.findChild<QWidget*>("Picture1");
    auto* status = form.findChild<QLineEdit*>("Text7");
    form.menu_action("image_menu_view_full")->trigger();
    auto* viewer = qobject_cast<Form13*>(top_level("Form13"));
    QVERIFY(viewer && !viewer->picture()->guide_window());
    // The click reaches the lock at the frame's pixel under it; the lock's
    // menus and status window reach the window, its search window the viewer.
    QTest::mouseClick(picture, Qt::RightButton, Qt::NoModifier, QPoint(100, 80));
    QCOMPARE(status->text(), QStringLiteral(" 126 102 100 Locked"));
    QCOMPARE(viewer->picture()->guide_window(), std::optional(FrameSquare{116, 92, 136, 112}));
    QVERIFY(form.menu_action("exp_menu_grab_auto")->isEnabled() &&
            form.menu_action("exp_menu_grab_auto_stop")->isEnabled());
    QVERIFY(top_level("Form6"));
    QTest::mouseClick(picture, Qt::LeftButton, Qt::ShiftModifier | Qt::ControlModifier, QPoint(10, 10));
    QCOMPARE(status->text(), QStringLiteral(" UnLocked"));
    QVERIFY(!form.menu_action("exp_menu_grab_auto")->isEnabled() && !viewer->picture()->guide_window());
    QTRY_VERIFY(top_level("Form6") == nullptr);
    QTest::mouseClick(picture, Qt::LeftButton, Qt::ShiftModifier, QPoint(100, 80));
    QCOMPARE(w.program.guide.guide_locked, std::int16_t{0});
    QCOMPARE(answered, 2);
  }

  // During an exposure the window repaints and shows the seconds left, then
  // the share downloaded; a menu command and ticks that come meanwhile run
  // only after the exchange, never inside it.
  void window_stays_alive_and_holds_commands_back_during_an_exposure() {
    Window s(true, /*timed=*/true);
    auto& [dir, w, form] = s;
    form.show();
    form.camera_menu_link_sumi_Click();
    w.program.form.Text5.assign(1, '3');
    auto* bar = form.findChild<QProgressBar*>("ProgressBar1");
    auto* status = form.findChild<QLineEdit*>("Text7");
    QVERIFY(bar && !bar->isVisible());
    QCOMPARE(bar->accessibleDescription(), QStringLiteral("ProgressBar1"));
    sim::Traffic& traffic = w.observatory.unit().recorder();
    traffic.clear();

    QStringList seen;  // the bar's texts, as painted
    int paints = 0, commands_when_clicked = -1, commands_after_click = -1;
    QTimer watcher;
    connect(&watcher, &QTimer::timeout, &form, [&] {
      if (!bar->isVisible()) return;
      if (seen.isEmpty() || seen.back() != bar->text()) seen.push_back(bar->text());
      ++paints;
      if (commands_when_clicked < 0 && status->text() == QStringLiteral(" 露出中")) {
        commands_when_clicked = static_cast<int>(traffic.commands.size());
        form.menu_action("camera_menu_cool_stop")->trigger();
        form.Timer1_Timer();
        form.Timer1_Timer();
        commands_after_click = static_cast<int>(traffic.commands.size());
      }
    });
    watcher.start(0);
    form.menu_action("exp_menu_one")->trigger();
    QCOMPARE(status->text(), QStringLiteral(" 撮影終了しました"));
    QVERIFY(paints > 3);
    QCOMPARE(commands_when_clicked, 3);  // "S", "N", "V": the exposure was running
    QCOMPARE(commands_after_click, commands_when_clicked);
    QVERIFY(!bar->isVisible());
    QVERIFY2(seen.contains(QStringLiteral("露出 残り 3 秒")) &&
                 seen.contains(QStringLiteral("露出 残り 1 秒")) &&
                 seen.back().startsWith(QStringLiteral("ダウンロード")),
             qPrintable(seen.join('|')));
    // The held-back command and one tick run after the exposure's reply.
    QTRY_COMPARE(traffic.commands.size(), std::size_t{7});
    const std::vector<std::string> expected{"S 3000", "N 2 2", "V", "C 751", "T", "X", "U"};
    QCOMPARE(traffic.commands, expected);
    QCOMPARE(w.program.frames.light.width, 768);
  }

  // Esc and the abort button end an exposure or a download at once; other
  // input still waits for the end of the exchange. The frame is dropped and
  // the unit brought back as after any cancel of the camera (the INDI
  // driver's abort): reset, head size, cooling, time, binning; the next
  // frame is whole.
  void esc_and_the_abort_button_drop_the_frame_and_the_next_is_whole() {
    Window s(true, /*timed=*/true);
    auto& [dir, w, form] = s;
    form.show();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    form.camera_menu_link_sumi_Click();
    form.camera_menu_cool_Click();  // set point -10
    w.program.form.Text5 = "1";
    auto* abort = form.findChild<QPushButton*>("AbortButton");
    QVERIFY(abort && !abort->isEnabled());
    QCOMPARE(abort->accessibleName(), QStringLiteral("中止"));
    auto* bar = form.findChild<QProgressBar*>("ProgressBar1");
    auto* check = form.findChild<QCheckBox*>("Check1");
    auto* status = form.findChild<QLineEdit*>("Text7");
    sim::Traffic& traffic = w.observatory.unit().recorder();
    using Lines = std::vector<std::string>;

    // At the first progress of `phase`: Esc or a click on the button, as the
    // window system delivers them; in the first round, first a click on
    // Check1, which must wait.
    QString phase;
    bool by_button = false, click_check = true, check_held = false;
    QTimer watcher;
    connect(&watcher, &QTimer::timeout, &form, [&] {
      if (phase.isEmpty() || !bar->isVisible() || !bar->text().startsWith(phase)) return;
      if (std::count(traffic.commands.begin(), traffic.commands.end(), "V") == 0) return;
      phase.clear();
      QVERIFY(abort->isEnabled());
      if (click_check) {
        QTest::mouseClick(form.windowHandle(), Qt::LeftButton, {}, check->mapTo(&form, QPoint(5, 5)));
        check_held = check->isChecked();
      }
      if (by_button)
        QTest::mouseClick(form.windowHandle(), Qt::LeftButton, {},
                          abort->mapTo(&form, abort->rect().center()));
      else
        QTest::keyClick(form.windowHandle(), Qt::Key_Escape);
    });
    watcher.start(0);

    const Lines recovery{"I 1536 1024", "F 99", "C -100", "S 1000", "N 2 2"};
    const std::pair<const char*, bool> rounds[] = {{"露出", false}, {"ダウンロード", true}};
    for (const auto& [in_phase, button] : rounds) {
      phase = QString::fromUtf8(in_phase);
      by_button = button;
      traffic.clear();
      form.menu_action("exp_menu_one")->trigger();
      QVERIFY2(phase.isEmpty(), in_phase);
      QCOMPARE(status->text(), QStringLiteral(" 撮影を中止しました"));
      Lines expected{"S 1000", "N 2 2", "V"};
      if (std::string(in_phase) != "露出") expected.insert(expected.end(), {"X", "U"});
      expected.insert(expected.end(), recovery.begin(), recovery.end());
      QCOMPARE(traffic.commands, expected);
      QCOMPARE(std::count(traffic.controls.begin(), traffic.controls.end(), kControlReset), 1);
      QVERIFY(!abort->isEnabled());
      QCOMPARE(w.program.frames.light.max, 0);  // nothing of the frame was kept
      if (click_check) {
        click_check = false;
        QVERIFY(check_held);               // not yet toggled inside the exchange ...
        QTRY_VERIFY(!check->isChecked());  // ... but afterwards
        QCOMPARE(w.program.exposure.display_after_shooting, 0);
      }
    }

    traffic.clear();
    form.menu_action("exp_menu_one")->trigger();
    QCOMPARE(status->text(), QStringLiteral(" 撮影終了しました"));
    QCOMPARE(traffic.commands, (Lines{"S 1000", "N 2 2", "V", "X", "U"}));
    const std::vector<std::uint16_t>& sent = w.observatory.unit().frame();
    QCOMPARE(sent.size(), std::size_t{768 * 512});
    for (std::size_t i = 0; i < sent.size(); ++i)
      if (w.program.frames.light.counts.at(static_cast<int>(i % 768), static_cast<int>(i / 768)) != sent[i])
        QFAIL(qPrintable(QStringLiteral("sample %1 differs").arg(i)));
  }

  // A stop clicked from the menu while the series waits runs at once (only
  // the exchanges hold commands back) and ends the series.
  void a_stop_from_the_menu_ends_a_waiting_series() {
    Window s(true);
    auto& [dir, w, form] = s;
    form.camera_menu_link_sumi_Click();
    w.program.settings.save_in_series = 1, w.program.settings.save_folder = dir.path().toStdString();
    w.program.form.Text5 = "1";
    w.program.form.Text6 = "5";  // the manual clock stands still: the series waits until stopped
    QTimer clicker;
    connect(&clicker, &QTimer::timeout, &form, [&] {
      if (form.findChild<QLineEdit*>("Text7")->text().startsWith(QStringLiteral(" 次の撮影待ち")))
        form.menu_action("exp_menu_grab_stop")->trigger();
    });
    clicker.start(0);
    form.menu_action("exp_menu_grab")->trigger();
    QCOMPARE(form.findChild<QLineEdit*>("Text7")->text(), QStringLiteral(" 撮影を停止しました"));
    QCOMPARE(QDir(dir.path()).entryList({"*.FIT"}, QDir::Files).size(), 1);
    QCOMPARE(w.program.series.state().series_running, 0);
  }
};

}  // namespace stellacq

QTEST_MAIN(stellacq::MainWindowTest)
#include "main_window_test.moc"
