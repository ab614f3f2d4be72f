// Charset conversion through QStringDecoder.
#include "desktop/net/qt_charset_converter.h"

#include <QByteArray>
#include <QString>
#include <QStringDecoder>

namespace postvane {

std::optional<std::string> QtCharsetConverter::ToUtf8(std::string_view charset,
                                                      std::string_view bytes) const {
  // The decoder wants a terminated name; a name with a NUL in it names nothing.
  if (charset.find('\0') != std::string_view::npos) return std::nullopt;
  const QByteArray name(charset.data(), static_cast<qsizetype>(charset.size()));
  // Stateless: a sequence cut off at the end becomes U+FFFD instead of waiting for more.
  QStringDecoder decoder(name.constData(), QStringDecoder::Flag::Stateless);
  if (!decoder.isValid()) return std::nullopt;
  QString text = decoder.decode(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
  if (decoder.hasError()) {
    // ICU puts its substitute control U+001A in place of bytes it cannot read, and drops a cut
    // sequence silently; either way the reader sees U+FFFD where something was lost.
    const QChar substitute(0x1A);
    if (text.contains(substitute)) {
      text.replace(substitute, QChar::ReplacementCharacter);
    } else {
      text.append(QChar::ReplacementCharacter);
    }
  }
  const QByteArray utf8 = text.toUtf8();
  return std::string(utf8.constData(), static_cast<std::size_t>(utf8.size()));
}

}  // namespace postvane
