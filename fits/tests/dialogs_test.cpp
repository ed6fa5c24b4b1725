// The file dialog and the save-folder dialog on an offscreen screen.
#include <QCheckBox>
#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QtTest>

#include "fits/file_dialog.h"
#include "fits/save_folder_dialog.h"
#include "fits/tests/test_world.h"

namespace stellacq {

class DialogsTest : public QObject {
  Q_OBJECT

  testing::World* w_ = nullptr;
  testing::ScratchDir* dir_ = nullptr;
  QString start_folder_, folder_;

  // Chooses the folder `path` in a dialog's Dir1 list.
  template <typename Form>
  static void choose_folder(Form* d, const QString& path) {
    for (int i = 0; i < d->Dir1->count(); ++i)
      if (d->Dir1->item(i)->data(Qt::UserRole).toString() == path) d->Dir1->setCurrentRow(i);
    QCOMPARE(d->Dir1->currentItem()->data(Qt::UserRole).toString(), path);
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
    QCOMPARE(d->findChild<QLineEdit*>("Text1")->accessibleDescription(), QString("Text1"));

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

  void fileDialogOkThatFailsKeepsTheDialogAndCancelChangesNothing() {
    Form3* d = open_file_dialog(w_->p, kOpenDark);
    d->Text1->setText(folder_ + "/a.FIT");  // not FITS inside
    QTest::mouseClick(d->Command1, Qt::LeftButton);
    QCOMPARE(std::tuple(w_->ui.boxes.size(), w_->p.frames.dark_width), std::tuple(size_t{1}, 0));
    QVERIFY(d->isVisible());  // the dialog stays usable
    QTest::mouseClick(d->Command2, Qt::LeftButton);
    QTRY_VERIFY(current_file_dialog() == nullptr);
    QCOMPARE(std::tuple(w_->p.file.file_mode, w_->ui.boxes.size()), std::tuple(kOpenDark, size_t{1}));
  }

  void saveFolderDialogStartsFromTheSettingsAndStoresTheBrowsedFolder() {
    w_->p.ini_path = dir_->file("STELLACQ.INI");
    w_->p.settings.save_folder = "/somewhere";
    w_->p.settings.save_in_series = 1.0;
    config_menu_file_Click(w_->p);
    Form8* d = current_save_folder_dialog();
    config_menu_file_Click(w_->p);
    QCOMPARE(current_save_folder_dialog(), d);
    QCOMPARE(std::tuple(d->windowTitle(), d->Text1->text(), d->Check1->isChecked()),
             std::tuple(QString("フォルダー指定"), QString("/somewhere"), true));
    d->Text1->setText(folder_ + "/notes.txt$");  // a file of that name: refused, the dialog stays
    QTest::mouseClick(d->Command1, Qt::LeftButton);
    QCOMPARE(std::tuple(d->isVisible(), d->Text1->text()), std::tuple(true, folder_ + "/notes.txt"));
    choose_folder(d, folder_ + "/sub");  // browsing fills Text1 and moves the current folder
    QCOMPARE(std::tuple(d->Text1->text(), QDir::currentPath()),
             std::tuple(folder_ + "/sub", folder_ + "/sub"));
    d->Check1->setChecked(false);
    QTest::mouseClick(d->Command1, Qt::LeftButton);
    QCOMPARE(QString::fromStdString(w_->p.settings.save_folder), folder_ + "/sub");
    QCOMPARE(w_->p.settings.save_in_series.value_or(-1), 0.0);
    QVERIFY(std::filesystem::exists(w_->p.ini_path));
    QTRY_VERIFY(current_save_folder_dialog() == nullptr);
  }
};

}  // namespace stellacq

QTEST_MAIN(stellacq::DialogsTest)
#include "dialogs_test.moc"
