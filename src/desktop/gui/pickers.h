// The file and folder pickers of the configuration dialog, behind an interface so that tests
// can answer them without a modal dialog.
#pragma once

#include <QString>
#include <cstdint>
#include <optional>

class QWidget;

namespace postvane {

// One entry of a file dialog's type list.
struct FileFilter {
  QString Description;           // shown to the user, e.g. "Sounds (*.wav)"
  QString Pattern;               // e.g. "*.wav"
  bool ExecutablesOnly = false;  // lists only files the user may run (and folders)
};

// "Programs (*.exe)", in the language at `languageBase`, where programs end in .exe;
// elsewhere programs have no suffix and the filter lists executable files instead.
FileFilter ProgramsFilter(int16_t languageBase);
FileFilter SoundsFilter(int16_t languageBase);

// The folder picker's title, the same in every language.
QString FolderPrompt();

class Pickers {
 public:
  virtual ~Pickers() = default;
  // A modal file-open dialog starting in initialDir with fileName preselected (when not
  // empty). The chosen file's full path, or nothing when the user cancels.
  virtual std::optional<QString> OpenFile(QWidget* owner, const FileFilter& filter,
                                          const QString& initialDir, const QString& fileName) = 0;
  // A modal folder picker offering file-system folders only. Empty when cancelled.
  virtual QString BrowseForFolder(QWidget* owner, const QString& prompt) = 0;
};

// The configuration dialog's one file-open dialog: it keeps the last accepted file name for
// as long as the dialog is open, so a cancel gives that name again.
class FileOpenDialog {
 public:
  explicit FileOpenDialog(Pickers& pickers) : pickers_(pickers) {}

  QString InitDir;
  FileFilter Filter;
  QString FileName;

  // FileName becomes the chosen file; a cancel leaves it as it was.
  void ShowOpen(QWidget* owner);

 private:
  Pickers& pickers_;
};

}  // namespace postvane
