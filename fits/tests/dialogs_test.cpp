// The file dialog on an offscreen screen.
#include <QCheckBox>
#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QtTest>

#include "app/program_parts.h"
#include "config/ini_file.h"
#include "fits/file_dialog.h"
#include "fits/save_folder_dialog.h"
#include "test_support/widgets.h"
#include "test_support/world.h"

namespace stellacq {

class DialogsTest : public QObject {
  Q_OBJECT

  testing::World* w_ = nullptr;
  testing::ScratchDir* dir_ = nullptr;
  QString start_folder_, folder_;

  // Chooses the folder `path` in the dialog's Dir1 list.
  template <typename Dialog>
  static void choose_folder(Dialog* d, const QString& path) {
    auto* dirs = d->template findChild<QListWidget*>("Dir1");
    for (int i = 0; i < dirs->count(); ++i)
      if (dirs->item(i)->data(Qt::UserRole).toString() == path) dirs->setCurrentRow(i);
    QCOMPARE(dirs->currentItem()->data(Qt::UserRole).toString(), path);
    d->Dir1_Change();
  }

 private slots:
  void init() {
    start_folder_ = QDir::currentPath();
    w_ = new testing::World;
    dir_ = new testing::ScratchDir;
    folder_ = QString::fromStdString(dir_->path());
    std::filesystem::create_directory(dir_->file("sub"));
    for (const char* name : {"a.FIT", "b.fits", "c.Fts", "notes.txt", "d.fit.bak"})
      std::ofstream(dir_->file(name)) << "x";
    QDir::setCurrent(folder_);
  }
  void cleanup() {
    QDir::setCurrent(start_folder_);
    delete dir_;
    delete w_;
  }

  void fileDialogListsFitsFilesAndJoinsNamesOnce() {
    Form3 dialog(held_frames(w_->p), w_->p.file, status_line(w_->p));
    Form3* d = &dialog;
    d->set_operation(kSaveDark);  // its caption is checked from the main window's menu
    QCOMPARE(std::tuple(d->operation(), w_->ui.beeps), std::tuple(kSaveDark, 1));
    QVERIFY(!d->isModal());
    auto* files = testing::child<QListWidget>(d, "File1");
    auto* text = testing::child<QLineEdit>(d, "Text1");

    QStringList names;
    for (int i = 0; i < files->count(); ++i) names << files->item(i)->text();
    QCOMPARE(names, QStringList({"a.FIT", "b.fits", "c.Fts"}));
    files->setCurrentRow(0);
    d->File1_Click();
    QCOMPARE(text->text(), folder_ + "/a.FIT");
    choose_folder(d, folder_ + "/sub");  // the current folder follows
    QCOMPARE(std::tuple(text->text(), QDir::currentPath(), files->count()),
             std::tuple(folder_ + "/sub/", folder_ + "/sub", 0));
    choose_folder(d, "/");  // at the root: no doubled separator
    QCOMPARE(std::tuple(text->text(), QDir::currentPath()), std::tuple(QString("/"), QString("/")));
  }

  void saveFolderDialogLoadsTheSettingsAndFollowsTheFolderList() {
    w_->p.ini_path = dir_->file("STELLACQ.INI");
    for (const auto& [saving, ticked] :
         {std::pair{OptionalNumber(1.0), true}, {OptionalNumber(0.0), false}, {OptionalNumber(), false}}) {
      w_->p.settings.save_folder = "/data/m42";
      w_->p.settings.save_in_series = saving;
      Form8 dialog(settings_file(w_->p), w_->p.ui);
      QCOMPARE(std::tuple(testing::text(&dialog, "Text1"),
                          testing::child<QCheckBox>(&dialog, "Check1")->isChecked()),
               std::tuple(QString("/data/m42"), ticked));
      // The list starts at the current folder, not at save_folder.
      QCOMPARE(dialog.findChild<QListWidget*>("Dir1")->currentItem()->data(Qt::UserRole).toString(), folder_);
    }
    QPointer<Form8> d = new Form8(settings_file(w_->p), w_->p.ui);
    d->setAttribute(Qt::WA_DeleteOnClose);
    d->show();
    choose_folder(d.data(), folder_ + "/sub");
    QCOMPARE(std::tuple(testing::text(d, "Text1"), QDir::currentPath()),
             std::tuple(folder_ + "/sub", folder_ + "/sub"));
    QVERIFY(w_->p.settings.save_folder == "/data/m42");  // stored only by OK

    // A settings file that cannot be written keeps the dialog open for another try.
    w_->p.ini_path = dir_->file("gone/STELLACQ.INI");
    testing::click(d, "Command1");
    QVERIFY(d->isVisible());
    QCOMPARE(w_->ui.boxes.size(), std::size_t{1});
    w_->p.ini_path = dir_->file("STELLACQ.INI");
    testing::click(d, "Command1");
    QTRY_VERIFY(d.isNull());
  }
};

}  // namespace stellacq

QTEST_MAIN(stellacq::DialogsTest)
#include "dialogs_test.moc"
