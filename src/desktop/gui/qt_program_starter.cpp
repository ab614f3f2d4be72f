// QProcess::startDetached: the new process outlives us and we keep no handle.
#include "desktop/gui/qt_program_starter.h"

#include <QProcess>

namespace postvane {

namespace {

// QProcess::splitCommand knows only double quotes; a user's command line here is shell-like.
QStringList SplitShellWords(const QString& line) {
  QStringList words;
  QString word;
  bool inWord = false;
  enum class Quote { None, Single, Double } quote = Quote::None;
  for (qsizetype i = 0; i < line.size(); ++i) {
    const QChar c = line.at(i);
    switch (quote) {
      case Quote::Single:
        if (c == QLatin1Char('\'')) {
          quote = Quote::None;
        } else {
          word += c;
        }
        break;
      case Quote::Double:
        if (c == QLatin1Char('"')) {
          quote = Quote::None;
        } else if (c == QLatin1Char('\\') && i + 1 < line.size() &&
                   QStringLiteral("\"\\$`").contains(line.at(i + 1))) {
          word += line.at(++i);
        } else {
          word += c;
        }
        break;
      case Quote::None:
        if (c == QLatin1Char(' ') || c == QLatin1Char('\t') || c == QLatin1Char('\n')) {
          if (inWord) words << word;
          word.clear();
          inWord = false;
        } else if (c == QLatin1Char('\'')) {
          quote = Quote::Single;
          inWord = true;
        } else if (c == QLatin1Char('"')) {
          quote = Quote::Double;
          inWord = true;
        } else if (c == QLatin1Char('\\')) {
          if (i + 1 < line.size()) word += line.at(++i);
          inWord = true;
        } else {
          word += c;
          inWord = true;
        }
        break;
    }
  }
  if (inWord) words << word;
  return words;
}

}  // namespace

QStringList SplitCommandLine(const std::string& commandLine) {
  const QString line = QString::fromStdString(commandLine);
#ifdef Q_OS_WIN
  return QProcess::splitCommand(line);
#else
  return SplitShellWords(line);
#endif
}

bool QtProgramStarter::StartDetached(const std::string& commandLine) {
  QStringList parts = SplitCommandLine(commandLine);
  if (parts.isEmpty() || parts.front().isEmpty()) return false;
  const QString program = parts.takeFirst();
  return QProcess::startDetached(program, parts);
}

}  // namespace postvane
