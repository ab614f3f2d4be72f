// Fixed filter texts and the remembered file name of the configuration dialog's file picker.
#include "desktop/gui/pickers.h"

#include "text/own_text.h"

namespace postvane {

namespace {

// "Sounds (*.wav)": the kind of file in the user's language, then the pattern.
FileFilter Filter(int16_t languageBase, OwnText kind, const QString& pattern,
                  bool executablesOnly) {
  const QString name = QString::fromStdString(OwnString(languageBase, kind));
  return {name + QStringLiteral(" (") + pattern + QLatin1Char(')'), pattern, executablesOnly};
}

}  // namespace

FileFilter ProgramsFilter(int16_t languageBase) {
#ifdef Q_OS_WIN
  return Filter(languageBase, OwnText::ProgramFiles, QStringLiteral("*.exe"), false);
#else
  return Filter(languageBase, OwnText::ProgramFiles, QStringLiteral("*"), true);
#endif
}

FileFilter SoundsFilter(int16_t languageBase) {
  return Filter(languageBase, OwnText::SoundFiles, QStringLiteral("*.wav"), false);
}

QString FolderPrompt() { return QStringLiteral("Wählen Sie bitte, bitte einen Ordner:"); }

void FileOpenDialog::ShowOpen(QWidget* owner) {
  if (std::optional<QString> chosen = pickers_.OpenFile(owner, Filter, InitDir, FileName)) {
    FileName = *chosen;
  }
}

}  // namespace postvane
