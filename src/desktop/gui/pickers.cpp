// Fixed filter texts and the remembered file name of the configuration dialog's file picker.
#include "desktop/gui/pickers.h"

namespace postvane {

FileFilter ProgramsFilter() {
#ifdef Q_OS_WIN
  return {QStringLiteral("Programs (*.exe)"), QStringLiteral("*.exe"), false};
#else
  return {QStringLiteral("Programs (*)"), QStringLiteral("*"), true};
#endif
}

FileFilter SoundsFilter() {
  return {QStringLiteral("Sounds (*.wav)"), QStringLiteral("*.wav"), false};
}

QString FolderPrompt() { return QStringLiteral("Wählen Sie bitte, bitte einen Ordner:"); }

void FileOpenDialog::ShowOpen(QWidget* owner) {
  if (std::optional<QString> chosen = pickers_.OpenFile(owner, Filter, InitDir, FileName)) {
    FileName = *chosen;
  }
}

}  // namespace postvane
