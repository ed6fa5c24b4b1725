#include "config/settings_dialogs.h"

#include <QGroupBox>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QtTest>

#include "config/ini_file.h"
#include "config/tests/test_program.h"

namespace stellacq {

using testing::read_bytes;
using testing::TempFolder;
using testing::TestWorld;

class SettingsDialogsTest : public QObject {
  Q_OBJECT

  std::unique_ptr<TempFolder> folder_;
  std::unique_ptr<TestWorld> world_;
  Program& p() { return world_->p; }

  // Lets a closed dialog finish deleting itself.
  static void settle() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

 private slots:
  void init() {
    folder_ = std::make_unique<TempFolder>();
    world_ = std::make_unique<TestWorld>();
    p().ini_path = ini_path_for(folder_->path());
  }
  void cleanup() {
    settle();
    world_.reset();
    folder_.reset();
  }

  void controls_carry_their_names_and_captions() {
    struct Control {
      QWidget* widget;
      const char* name;
      const char* caption;
    };
    auto* f2 = new Form2(p(), nullptr);
    auto* f5 = new Form5(p(), nullptr);
    auto* f7 = new Form7(p(), nullptr);
    const Control controls[] = {
        {f2, "Form2", "Parallel port address"},
        {f2->Label1, "Label1", "     data  stat cont"},
        {f2->Option1, "Option1", " : 278  279  27a"},
        {f2->Option2, "Option2", " : 378  379  37a"},
        {f2->Option3, "Option3", " : 3bc  3bd  3be"},
        {f2->Command1, "Command1", "OK"},
        {f5, "Form5", "COM port address"},
        {f5->Option1, "Option1", " COM1"},
        {f5->Option2, "Option2", " COM2"},
        {f5->Option3, "Option3", " COM3"},
        {f5->Command1, "Command1", "OK"},
        {f7, "Form7", "TU11/22 select"},
        {f7->Frame1, "Frame1", "Control Unit"},
        {f7->Frame2, "Frame2", "Camera Head"},
        {f7->Option1, "Option1", "TU-11"},
        {f7->Option2, "Option2", "TU-22"},
        {f7->Option3, "Option3", "TX-11"},
        {f7->Option4, "Option4", "TX-22"},
        {f7->Command1, "Command1", "OK"},
        {f7->Command2, "Command2", "Cancel"},
    };
    for (const auto& c : controls) {
      const QString caption = QString::fromUtf8(c.caption);
      QCOMPARE(c.widget->objectName(), QString::fromLatin1(c.name));
      QCOMPARE(c.widget->accessibleDescription(), QString::fromLatin1(c.name));
      QCOMPARE(c.widget->accessibleName(), caption);
      QString shown;
      if (auto* b = qobject_cast<QAbstractButton*>(c.widget))
        shown = b->text();
      else if (auto* l = qobject_cast<QLabel*>(c.widget))
        shown = l->text();
      else if (auto* g = qobject_cast<QGroupBox*>(c.widget))
        shown = g->title();
      else
        shown = c.widget->windowTitle();
      QCOMPARE(shown, caption);
    }
    QVERIFY(f2->findChildren<QPushButton*>().size() == 1);  // no cancel button
    QVERIFY(f5->findChildren<QPushButton*>().size() == 1);
    delete f2;
    delete f5;
    delete f7;
  }

  void port_dialogs_open_with_the_current_choice() {
    struct Case {
      std::int16_t port;
      int checked;  // 0 = none
    };
    const Case cases[] = {{0, 0}, {1, 1}, {2, 2}, {3, 3}, {5, 0}, {-1, 0}};
    for (const auto& c : cases) {
      p().settings.parallel_port = c.port;
      p().settings.com_port = c.port;
      Form2 f2(p(), nullptr);
      Form5 f5(p(), nullptr);
      const bool expect[] = {c.checked == 1, c.checked == 2, c.checked == 3};
      QCOMPARE(f2.Option1->isChecked(), expect[0]);
      QCOMPARE(f2.Option2->isChecked(), expect[1]);
      QCOMPARE(f2.Option3->isChecked(), expect[2]);
      QCOMPARE(f5.Option1->isChecked(), expect[0]);
      QCOMPARE(f5.Option2->isChecked(), expect[1]);
      QCOMPARE(f5.Option3->isChecked(), expect[2]);
    }
  }

  void form2_ok_with_option3_sets_ports_and_writes_the_file() {
    p().settings.save_folder = "/data/night";
    p().settings.program_count = 4;
    QPointer<Form2> dialog = show_parallel_port_dialog(p(), nullptr);
    QVERIFY(dialog->isVisible());
    QTest::mouseClick(dialog->Option3, Qt::LeftButton);
    QTest::mouseClick(dialog->Command1, Qt::LeftButton);
    QCOMPARE(p().settings.parallel_port, std::int16_t{3});
    QVERIFY(p().ports.set);
    QCOMPARE(p().ports.port_data, std::uint16_t{0x3BC});
    QCOMPARE(p().ports.port_status, std::uint16_t{0x3BD});
    QCOMPARE(p().ports.port_control, std::uint16_t{0x3BE});
    QCOMPARE(read_bytes(p().ini_path), settings_file_text(p().settings));
    QVERIFY(read_bytes(p().ini_path).find("/data/night\r\n") != std::string::npos);
    settle();
    QVERIFY(dialog.isNull());  // closed and gone
  }

  void form2_ok_without_a_choice_changes_nothing() {
    QPointer<Form2> dialog = show_parallel_port_dialog(p(), nullptr);
    QTest::mouseClick(dialog->Command1, Qt::LeftButton);
    QCOMPARE(p().settings.parallel_port, std::int16_t{0});
    QVERIFY(!p().ports.set);
    QCOMPARE(read_bytes(p().ini_path), settings_file_text(Settings{}));
  }

  void form5_ok_writes_the_com_port() {
    p().settings.com_port = 1;
    QPointer<Form5> dialog = show_com_port_dialog(p(), nullptr);
    QTest::mouseClick(dialog->Option2, Qt::LeftButton);
    QTest::mouseClick(dialog->Command1, Qt::LeftButton);
    QCOMPARE(p().settings.com_port, std::int16_t{2});
    Settings read;
    QCOMPARE(read_settings_file(p().ini_path, read), SettingsFileState::Complete);
    QCOMPARE(read.com_port, std::int16_t{2});
    QVERIFY(!p().ports.set);  // the serial dialog leaves the parallel port alone
    settle();
    QVERIFY(dialog.isNull());
  }

  void form7_opens_with_the_current_models() {
    struct Case {
      std::int16_t unit, head;
      bool tu11, tx11;
    };
    const Case cases[] = {
        {4, 4, true, true}, {16, 16, false, false}, {4, 16, true, false}, {0, 0, false, false}};
    for (const auto& c : cases) {
      p().settings.unit_model = c.unit;
      p().settings.head_model = c.head;
      Form7 f(p(), nullptr);
      QCOMPARE(f.Option1->isChecked(), c.tu11);
      QCOMPARE(f.Option2->isChecked(), !c.tu11);
      QCOMPARE(f.Option3->isChecked(), c.tx11);
      QCOMPARE(f.Option4->isChecked(), !c.tx11);
    }
  }

  void form7_couples_unit_and_head() {
    p().settings.unit_model = 16;
    p().settings.head_model = 16;
    QPointer<Form7> f = show_model_dialog(p(), nullptr);
    QTest::mouseClick(f->Option1, Qt::LeftButton);  // TU-11 brings TX-11
    QVERIFY(f->Option1->isChecked());
    QVERIFY(f->Option3->isChecked());
    QVERIFY(!f->Option4->isChecked());
    QTest::mouseClick(f->Option4, Qt::LeftButton);  // TX-22 brings TU-22
    QVERIFY(f->Option4->isChecked());
    QVERIFY(f->Option2->isChecked());
    QVERIFY(!f->Option1->isChecked());
    QTest::mouseClick(f->Option3, Qt::LeftButton);  // TX-11 alone: unit unchanged
    QVERIFY(f->Option3->isChecked());
    QVERIFY(f->Option2->isChecked());
    QTest::mouseClick(f->Command1, Qt::LeftButton);
    QCOMPARE(p().settings.unit_model, std::int16_t{16});
    QCOMPARE(p().settings.head_model, std::int16_t{4});
    Settings read;
    QCOMPARE(read_settings_file(p().ini_path, read), SettingsFileState::Complete);
    QCOMPARE(read.unit_model, std::int16_t{16});
    QCOMPARE(read.head_model, std::int16_t{4});
  }

  void form7_cancel_leaves_record_and_file_untouched() {
    p().settings.unit_model = 16;
    p().settings.head_model = 16;
    p().settings.com_port = 2;
    QVERIFY(save_settings(p()));
    const std::string before = read_bytes(p().ini_path);
    const auto stamp = std::filesystem::last_write_time(p().ini_path);
    QPointer<Form7> f = show_model_dialog(p(), nullptr);
    QTest::mouseClick(f->Option1, Qt::LeftButton);
    QTest::mouseClick(f->Command2, Qt::LeftButton);
    QCOMPARE(p().settings.unit_model, std::int16_t{16});
    QCOMPARE(p().settings.head_model, std::int16_t{16});
    QCOMPARE(read_bytes(p().ini_path), before);
    QVERIFY(std::filesystem::last_write_time(p().ini_path) == stamp);
    settle();
    QVERIFY(f.isNull());
  }

  void failed_write_is_reported_and_the_dialog_stays_open() {
    p().ini_path = folder_->path();  // a folder cannot be replaced by the file
    QPointer<Form5> dialog = show_com_port_dialog(p(), nullptr);
    QTest::mouseClick(dialog->Option3, Qt::LeftButton);
    QTest::mouseClick(dialog->Command1, Qt::LeftButton);
    settle();
    QVERIFY(!dialog.isNull());
    QVERIFY(dialog->isVisible());
    QCOMPARE(p().settings.com_port, std::int16_t{3});
    QCOMPARE(world_->ui.boxes.size(), std::size_t{1});
    QVERIFY(world_->ui.boxes[0].text.find(p().ini_path) != std::string::npos);

    // The problem gone, OK again saves and closes.
    p().ini_path = ini_path_for(folder_->path());
    QTest::mouseClick(dialog->Command1, Qt::LeftButton);
    settle();
    QVERIFY(dialog.isNull());
    QCOMPARE(world_->ui.boxes.size(), std::size_t{1});
  }

  void dialogs_centre_on_the_screen_not_over_the_main_window() {
    QWidget main_window;  // at the top-left corner, like the main window
    main_window.setGeometry(0, 0, 320, 240);
    main_window.show();
    QPointer<Form7> f = show_model_dialog(p(), &main_window);
    QVERIFY(QTest::qWaitForWindowExposed(f));
    const QRect area = f->screen()->geometry();
    const QRect frame = f->frameGeometry();
    QVERIFY(qAbs(frame.center().x() - area.center().x()) <= 1);
    QVERIFY(qAbs(frame.center().y() - area.center().y()) <= 1);
    QVERIFY(!f->isModal());
    f->close();
  }
};

}  // namespace stellacq

QTEST_MAIN(stellacq::SettingsDialogsTest)
#include "settings_dialogs_test.moc"
