// The file dialog and the save-folder dialog on an offscreen screen.
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QtTest>

#include <filesystem>
#include <fstream>

#include "fits/file_dialog.h"
#include "fits/header_builder.h"
#include "fits/save_folder_dialog.h"
#include "fits/tests/test_world.h"

namespace stellacq {

namespace fs = std::filesystem;

class DialogsTest : public QObject {
  Q_OBJECT

 private:
  testing::World* w_ = nullptr;
  testing::ScratchDir* dir_ = nullptr;
  QString start_folder_;

  static QListWidgetItem* item_with_path(QListWidget* list, const QString& path) {
    for (int i = 0; i < list->count(); ++i)
      if (list->item(i)->data(Qt::UserRole).toString() == path) return list->item(i);
    return nullptr;
  }

 private slots:
  void init() {
    start_folder_ = QDir::currentPath();
    w_ = new testing::World;
    dir_ = new testing::ScratchDir;
    fs::create_directory(dir_->file("sub"));
    for (const char* name : {"a.FIT", "b.fits", "c.Fts", "notes.txt", "d.fit.bak"})
      std::ofstream(dir_->file(name)) << "x";
    QDir::setCurrent(QString::fromStdString(dir_->path().string()));
  }
  void cleanup() {
    delete current_file_dialog();
    delete current_save_folder_dialog();
    QDir::setCurrent(start_folder_);
    delete dir_;
    delete w_;
  }

  void oneFileDialogTakesTheLastCommand() {
    file_menu_open_light_Click(w_->p);
    Form3* first = current_file_dialog();
    QVERIFY(first);
    QCOMPARE(first->windowTitle(), QString("File open"));
    QCOMPARE(w_->ui.beeps, 1);
    file_menu_save_dark_Click(w_->p);
    QCOMPARE(current_file_dialog(), first);
    QCOMPARE(first->windowTitle(), QString("Dark File save"));
    QCOMPARE(first->operation(), kSaveDark);
    QCOMPARE(w_->p.file.file_mode, kSaveDark);
    QVERIFY(!first->isModal());
    QCOMPARE(first->parentWidget(), nullptr);
    QCOMPARE(first->findChild<QLineEdit*>("Text1")->accessibleDescription(), QString("Text1"));
  }

  void fileListShowsFitsFilesOnlyAndNamesJoinOnce() {
    Form3* d = open_file_dialog(w_->p, kOpenLight);
    QStringList names;
    for (int i = 0; i < d->File1->count(); ++i) names << d->File1->item(i)->text();
    QCOMPARE(names, QStringList({"a.FIT", "b.fits", "c.Fts"}));

    d->File1->setCurrentRow(0);
    d->File1_Click();
    const QString folder = QString::fromStdString(dir_->path().string());
    QCOMPARE(d->Text1->text(), folder + "/a.FIT");

    // Into the subfolder: the current folder follows, Text1 shows the folder.
    QListWidgetItem* sub = item_with_path(d->Dir1, folder + "/sub");
    QVERIFY(sub);
    d->Dir1->setCurrentItem(sub);
    d->Dir1_Change();
    QCOMPARE(QDir::currentPath(), folder + "/sub");
    QCOMPARE(d->Text1->text(), folder + "/sub/");
    QCOMPARE(d->File1->count(), 0);

    // At the root: no doubled separator.
    QListWidgetItem* root = item_with_path(d->Dir1, "/");
    QVERIFY(root);
    d->Dir1->setCurrentItem(root);
    d->Dir1_Change();
    QCOMPARE(d->Text1->text(), QString("/"));
    QCOMPARE(QDir::currentPath(), QString("/"));
  }

  void okSavesTheTypedNameAndCloses() {
    w_->p.settings.head_model = 4;
    make_light_header(w_->p);
    Form3* d = open_file_dialog(w_->p, kSaveLight);
    const std::string path = dir_->file("typed");
    d->Text1->setText(QString::fromStdString(path));
    w_->p.file.file_mode = kSaveLight + 1000;  // a series frame would change it
    QTest::mouseClick(d->Command1, Qt::LeftButton);
    QVERIFY(fs::exists(path));
    QTRY_VERIFY(current_file_dialog() == nullptr);
  }

  void okThatFailsKeepsTheDialogAndCancelChangesNothing() {
    Form3* d = open_file_dialog(w_->p, kOpenDark);
    d->Text1->setText(QString::fromStdString(dir_->file("a.FIT")));  // not FITS inside
    QTest::mouseClick(d->Command1, Qt::LeftButton);
    QCOMPARE(w_->ui.boxes.size(), size_t{1});
    QVERIFY(current_file_dialog() != nullptr);
    QCOMPARE(w_->p.frames.dark_width, 0);

    QTest::mouseClick(d->Command2, Qt::LeftButton);
    QTRY_VERIFY(current_file_dialog() == nullptr);
    QCOMPARE(w_->p.file.file_mode, kOpenDark);
    QCOMPARE(w_->ui.boxes.size(), size_t{1});
  }

  void saveFolderDialogShowsAndStoresTheSettings() {
    w_->p.ini_path = dir_->file("STELLACQ.INI");
    w_->p.settings.save_folder = "/somewhere";
    w_->p.settings.save_in_series = 1.0;
    config_menu_file_Click(w_->p);
    Form8* d = current_save_folder_dialog();
    QVERIFY(d);
    QCOMPARE(d->windowTitle(), QString("フォルダー指定"));
    QCOMPARE(d->Text1->text(), QString("/somewhere"));
    QVERIFY(d->Check1->isChecked());
    config_menu_file_Click(w_->p);
    QCOMPARE(current_save_folder_dialog(), d);

    // Browsing fills Text1; OK on the existing folder stores the check box.
    const QString sub = QString::fromStdString(dir_->file("sub"));
    QListWidgetItem* item = item_with_path(d->Dir1, sub);
    QVERIFY(item);
    d->Dir1->setCurrentItem(item);
    d->Dir1_Change();
    QCOMPARE(d->Text1->text(), sub);
    d->Check1->setChecked(false);
    QTest::mouseClick(d->Command1, Qt::LeftButton);
    QCOMPARE(w_->p.settings.save_folder, sub.toStdString());
    QCOMPARE(w_->p.settings.save_in_series.value_or(-1), 0.0);
    QVERIFY(fs::exists(w_->p.ini_path));
    QTRY_VERIFY(current_save_folder_dialog() == nullptr);
  }

  void saveFolderRefusalKeepsTheDialog() {
    open_save_folder_dialog(w_->p);
    Form8* d = current_save_folder_dialog();
    d->Text1->setText(QString::fromStdString(dir_->file("notes.txt")) + "$");
    QTest::mouseClick(d->Command1, Qt::LeftButton);
    QCOMPARE(w_->ui.boxes.size(), size_t{1});
    QCOMPARE(QString::fromStdString(w_->ui.boxes[0].text), QString("同名のファイルがあります"));
    QCOMPARE(d->Text1->text(), QString::fromStdString(dir_->file("notes.txt")));
    QVERIFY(current_save_folder_dialog() != nullptr);
    QTest::mouseClick(d->Command2, Qt::LeftButton);
    QTRY_VERIFY(current_save_folder_dialog() == nullptr);
    QCOMPARE(w_->p.settings.save_folder, std::string());
  }
};

}  // namespace stellacq

QTEST_MAIN(stellacq::DialogsTest)
#include "dialogs_test.moc"
