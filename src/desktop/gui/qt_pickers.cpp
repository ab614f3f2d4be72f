// QFileDialog for both pickers; the program filter hides files the user may not run.
#include "desktop/gui/qt_pickers.h"

#include <QDir>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QSortFilterProxyModel>

namespace postvane {

namespace {

// Folders stay so the user can walk the tree; of the files only executable ones are listed.
class ExecutableFilesOnly : public QSortFilterProxyModel {
 public:
  using QSortFilterProxyModel::QSortFilterProxyModel;

 protected:
  bool filterAcceptsRow(int row, const QModelIndex& parent) const override {
    auto* files = qobject_cast<QFileSystemModel*>(sourceModel());
    if (files == nullptr) return true;
    const QModelIndex index = files->index(row, 0, parent);
    if (files->isDir(index)) return true;
    return files->fileInfo(index).isExecutable();
  }
};

}  // namespace

std::optional<QString> QtPickers::OpenFile(QWidget* owner, const FileFilter& filter,
                                           const QString& initialDir, const QString& fileName) {
  QFileDialog dialog(owner);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setNameFilter(filter.Description);
  if (filter.ExecutablesOnly) {
    // A proxy model needs Qt's own dialog rather than the desktop's.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setProxyModel(new ExecutableFilesOnly(&dialog));
  }
  dialog.setDirectory(initialDir);
  if (!fileName.isEmpty()) dialog.selectFile(fileName);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  const QStringList chosen = dialog.selectedFiles();
  if (chosen.isEmpty()) return std::nullopt;
  return QDir::toNativeSeparators(chosen.front());
}

QString QtPickers::BrowseForFolder(QWidget* owner, const QString& prompt) {
  const QString folder =
      QFileDialog::getExistingDirectory(owner, prompt, QString(), QFileDialog::ShowDirsOnly);
  return QDir::toNativeSeparators(folder);
}

}  // namespace postvane
