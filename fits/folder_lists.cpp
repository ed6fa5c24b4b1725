#include "fits/folder_lists.h"

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QListWidget>
#include <QStringList>

namespace stellacq {

void fill_drive_list(QComboBox* drives, const QString& folder) {
  const QSignalBlocker quiet(drives);
  drives->clear();
  int chosen = 0;
  for (const QFileInfo& root : QDir::drives()) {
    const QString path = root.absoluteFilePath();
    if (folder.startsWith(path)) chosen = drives->count();
    drives->addItem(path, path);
  }
  drives->setCurrentIndex(chosen);
}

void fill_folder_list(QListWidget* folders, const QString& folder) {
  const QSignalBlocker quiet(folders);
  folders->clear();
  QStringList chain;
  QDir walk(folder);
  chain.prepend(walk.absolutePath());
  while (walk.cdUp()) chain.prepend(walk.absolutePath());

  int depth = 0;
  for (const QString& path : chain) {
    const QString name = depth == 0 ? path : QFileInfo(path).fileName();
    auto* item = new QListWidgetItem(QString(depth * 2, ' ') + name, folders);
    item->setData(Qt::UserRole, path);
    ++depth;
  }
  folders->setCurrentRow(static_cast<int>(chain.size()) - 1);
  const QDir here(folder);
  for (const QString& sub :
       here.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase)) {
    auto* item = new QListWidgetItem(QString(depth * 2, ' ') + sub, folders);
    item->setData(Qt::UserRole, here.absoluteFilePath(sub));
  }
}

void fill_fits_file_list(QListWidget* files, const QString& folder) {
  const QSignalBlocker quiet(files);
  files->clear();
  QDir here(folder);
  here.setNameFilters({"*.fit", "*.fts", "*.fits"});
  here.setFilter(QDir::Files | QDir::Hidden);
  here.setSorting(QDir::Name | QDir::IgnoreCase);
  // Name filters on a QDir match case-insensitively.
  for (const QString& name : here.entryList()) {
    auto* item = new QListWidgetItem(name, files);
    item->setData(Qt::UserRole, here.absoluteFilePath(name));
  }
}

}  // namespace stellacq
