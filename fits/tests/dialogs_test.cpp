// The file dialog on an offscreen screen.
#include <QCheckBox>
#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QtTest>

#include "config/ini_file.h"
#include "core/tests/offline_world.h"
#include "fits/file_dialog.h"
#include "fits/save_folder_dialog.h"

namespace stellacq {

class DialogsTest : public QObject {
  Q_OBJECT

  testing::OfflineWorld* w_ = nullptr;
  testing::ScratchDir* dir_ = nullptr;
  QString start_folder_, folder_;

  // Chooses the folder `path` in the dialog's Dir1 list.
  template <typename Dialog>
  static void choose_folder(Dialog* d, const QString& path) {
    for (int i = 0; i < d->Dir1->count(); ++i)
      if (d->Dir1->item(i)->data(Qt::UserRole).toString() == path) d->Dir1->setCurrentRow(i);
    QCOMPARE(d->Dir1->currentItem()->data(Qt::UserRole).toString(), path);
    d->Dir1_Change();
  }

 private slots:
  void init() {
    start_folder_ = QDir::currentPath();
    w_ = new testing::OfflineWorld;
    dir_ = new testing::ScratchDir;
    folder_ = QString::fromStdString(dir_->path());
    std::filesystem::create_directory(dir_->file("sub"));
    for (const char* name : {"a.FIT", "b.fits", "c.Fts", "notes.txt", "d.fit.bak"})
      std::ofstream(dir_->file(name)) << "x";
    QDir::setCurrent(folder_);
  }
  void cleanup() {
    delete current_file_dialog();
    delete current_save_folder_dialog();
    QDir::setCurrent(start_folder_);
    delete dir_;
    delete w_;
  }

  void fileDialogIsOneNonModalDialogThatJoinsNamesOnce() {
    file_menu_open_light_Click(w_->p);
    Form3* d = current_file_dialog();
    QCOMPARE(d->windowTitle(), QString("File open"));
    file_menu_save_dark_Click(w_->p);
    QCOMPARE(current_file_dialog(), d);
    QCOMPARE(d->windowTitle(), QString("Dark File save"));
    QCOMPARE(std::tuple(d->operation(), w_->p.file.file_mode, w_->ui.beeps),
             std::tuple(kSaveDark, kSaveDark, 1));
    QVERIFY(!d->isModal() && d->parentWidget() == nullptr);

    QStringList names;
    for (int i = 0; i < d->File1->count(); ++i) names << d->File1->item(i)->text();
    QCOMPARE(names, QStringList({"a.FIT", "b.fits", "c.Fts"}));
    d->File1->setCurrentRow(0);
    d->File1_Click();
    QCOMPARE(d->Text1->text(), folder_ + "/a.FIT");
    choose_folder(d, folder_ + "/sub");  // the current folder follows
    QCOMPARE(std::tuple(d->Text1->text(), QDir::currentPath(), d->File1->count()),
             std::tuple(folder_ + "/sub/", folder_ + "/sub", 0));
    choose_folder(d, "/");  // at the root: no doubled separator
    QCOMPARE(std::tuple(d->Text1->text(), QDir::currentPath()), std::tuple(QString("/"), QString("/")));
  }

  void saveFolderDialogLoadsTheSettingsAndFollowsTheFolderList() {
    w_->p.ini_path = dir_->file("STELLACQ.INI");
    for (const auto& [saving, ticked] :
         {std::pair{OptionalNumber(1.0), true}, {OptionalNumber(0.0), false}, {OptionalNumber(), false}}) {
      w_->p.settings.save_folder = "/data/m42";
      w_->p.settings.save_in_series = saving;
      config_menu_file_Click(w_->p);
      Form8* d = current_save_folder_dialog();
      QCOMPARE(std::tuple(d->Text1->text(), d->Check1->isChecked()),
               std::tuple(QString("/data/m42"), ticked));
      // The list starts at the current folder, not at save_folder.
      QCOMPARE(d->Dir1->currentItem()->data(Qt::UserRole).toString(), folder_);
      delete d;
    }
    config_menu_file_Click(w_->p);
    Form8* d = current_save_folder_dialog();
    choose_folder(d, folder_ + "/sub");
    QCOMPARE(std::tuple(d->Text1->text(), QDir::currentPath()),
             std::tuple(folder_ + "/sub", folder_ + "/sub"));
    QVERIFY(w_->p.settings.save_folder == "/data/m42");  // stored only by OK

    // A settings file that cannot be written keeps the dialog open for another try.
    w_->p.ini_path = dir_->file("gone/STELLACQ.INI");
    QTest::mouseClick(d->Command1, Qt::LeftButton);
    QVERIFY(d->isVisible());
    QCOMPARE(w_->ui.boxes.size(), std::size_t{1});
    w_->p.ini_path = dir_->file("STELLACQ.INI");
    QTest::mouseClick(d->Command1, Qt::LeftButton);
    QTRY_VERIFY(current_save_folder_dialog() == nullptr);
    QVERIFY(std::filesystem::exists(w_->p.ini_path));
  }
};

}  // namespace stellacq

QTEST_MAIN(stellacq::DialogsTest)
#include "dialogs_test.moc"
