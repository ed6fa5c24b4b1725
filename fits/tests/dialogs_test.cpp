// The file dialog on an offscreen screen.
#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QtTest>

#include "fits/file_dialog.h"
#include "test_support/world.h"

namespace stellacq {

class DialogsTest : public QObject {
  Q_OBJECT

  testing::World* w_ = nullptr;
  testing::ScratchDir* dir_ = nullptr;
  QString start_folder_, folder_;

  // Chooses the folder `path` in the dialog's Dir1 list.
  static void choose_folder(Form3* d, const QString& path) {
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
};

}  // namespace stellacq

QTEST_MAIN(stellacq::DialogsTest)
#include "dialogs_test.moc"
