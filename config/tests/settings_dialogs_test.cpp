#include "config/settings_dialogs.h"

#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>

#include "app/program_parts.h"
#include "config/ini_file.h"
#include "config/settings_store.h"
#include "test_support/widgets.h"
#include "test_support/world.h"

namespace stellacq {

using testing::click;
using testing::settle;

// Whether the option `name` of `dialog` is chosen.
bool on(QWidget* dialog, const char* name) {
  return testing::child<QAbstractButton>(dialog, name)->isChecked();
}

class SettingsDialogsTest : public QObject {
  Q_OBJECT
  std::unique_ptr<testing::ScratchDir> folder_;
  std::unique_ptr<testing::World> world_;
  Program& p() { return world_->p; }
  std::string file() { return testing::file_bytes(p().ini_path); }

  template <typename Dialog, typename... Parts>
  QPointer<Dialog> open(Parts&... parts) {
    auto* dialog = new Dialog(settings_file(p()), parts..., p().ui, nullptr);
    dialog->show();
    return dialog;
  }

 private slots:
  void init() {
    folder_ = std::make_unique<testing::ScratchDir>();
    world_ = std::make_unique<testing::World>();
    p().ini_path = ini_path_for(folder_->path());
  }
  void cleanup() { settle(); }

  void form2_ok_puts_the_chosen_port_in_use_at_once_and_writes_the_file() {
    p().settings.parallel_port = 5;  // no option matches: none is checked
    QPointer<Form2> f2 = open<Form2>(p().ports);
    QVERIFY(!on(f2, "Option1") && !on(f2, "Option2") && !on(f2, "Option3"));
    click(f2, "Command1");  // nothing changes, the file is written, the dialog closes
    QVERIFY(!p().ports.set && f2.isNull());
    QCOMPARE(file(), settings_file_text(p().settings));
    f2 = open<Form2>(p().ports);
    click(f2, "Option3");
    click(f2, "Command1");
    QVERIFY(f2.isNull() && p().settings.parallel_port == 3);  // closed and gone
    QVERIFY(p().ports.set && p().ports.port_data == 0x3BC);   // in use at once
  }

  void form7_couples_unit_and_head_and_cancel_writes_nothing() {
    p().settings.unit_model = p().settings.head_model = 16;
    QVERIFY(save_settings(settings_file(p()), p().ui));
    const Settings before = p().settings;
    const auto stamp = std::filesystem::last_write_time(p().ini_path);
    QPointer<Form7> f = open<Form7>();
    QVERIFY(on(f, "Option2") && on(f, "Option4"));  // opens with the settings
    click(f, "Option1");
    click(f, "Command2");
    QVERIFY(f.isNull() && p().settings == before && std::filesystem::last_write_time(p().ini_path) == stamp);

    f = open<Form7>();
    // TU-11 brings TX-11, TX-22 brings TU-22, TX-11 alone leaves the unit.
    for (const auto& [option, unit, head] : {std::tuple("Option1", "Option1", "Option3"),
                                             {"Option4", "Option2", "Option4"},
                                             {"Option3", "Option2", "Option3"}}) {
      click(f, option);
      QVERIFY2(on(f, unit) && on(f, head), option);
    }
    click(f, "Command1");
    QVERIFY(p().settings.unit_model == 16 && p().settings.head_model == 4);
    QCOMPARE(file(), settings_file_text(p().settings));
  }

  void failed_write_is_reported_and_the_dialog_stays_open() {
    p().ini_path = folder_->path();  // a folder cannot be replaced by the file
    QPointer<Form5> dialog = open<Form5>();
    click(dialog, "Option3");
    click(dialog, "Command1");
    QVERIFY(dialog && dialog->isVisible());
    QCOMPARE(p().settings.com_port, std::int16_t{3});  // in effect for this run
    QCOMPARE(world_->ui.boxes.size(), std::size_t{1});
  }
};

}  // namespace stellacq

QTEST_MAIN(stellacq::SettingsDialogsTest)
#include "settings_dialogs_test.moc"
