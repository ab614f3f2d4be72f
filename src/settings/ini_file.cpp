// Private-profile parsing and line-by-line updates.
#include "settings/ini_file.h"

#include <cstring>

#include "text/text_encoding.h"

namespace postvane {

namespace {

constexpr std::size_t kNone = std::string_view::npos;

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  }
  return true;
}

enum class LineKind { Other, Section, Key };

struct ParsedLine {
  LineKind kind = LineKind::Other;
  std::string_view name;   // section or key name
  std::string_view value;  // key value, trimmed, quotes still on
};

ParsedLine Parse(std::string_view text) {
  ParsedLine parsed;
  const std::string_view trimmed = Trim(text);
  if (trimmed.empty() || trimmed.front() == ';') return parsed;
  if (trimmed.front() == '[') {
    const std::size_t close = trimmed.find(']');
    if (close != kNone) {
      parsed.kind = LineKind::Section;
      parsed.name = Trim(trimmed.substr(1, close - 1));
      return parsed;
    }
  }
  const std::size_t equals = trimmed.find('=');
  if (equals == kNone) return parsed;
  const std::string_view name = Trim(trimmed.substr(0, equals));
  if (name.empty()) return parsed;
  parsed.kind = LineKind::Key;
  parsed.name = name;
  parsed.value = Trim(trimmed.substr(equals + 1));
  return parsed;
}

// One pair of the same quote mark, double or single, around the value.
bool Quoted(std::string_view value) {
  return value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
         value.back() == value.front();
}

constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16LittleMark = "\xFF\xFE";
constexpr std::string_view kUtf16BigMark = "\xFE\xFF";

// Any ASCII character in UTF-16 has a zero byte, and a settings file starts with some; an 8-bit
// file whose first two bytes happen to look like a mark has none.
bool LooksLikeUtf16(std::string_view afterMark) {
  return afterMark.empty() || afterMark.substr(0, 16).find('\0') != kNone;
}

// UTF-16 bytes (after the mark) as units; an odd last byte is dropped.
std::u16string UnitsOf(std::string_view bytes, bool big) {
  std::u16string units;
  units.reserve(bytes.size() / 2);
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    const auto first = static_cast<unsigned char>(bytes[i]);
    const auto second = static_cast<unsigned char>(bytes[i + 1]);
    units.push_back(static_cast<char16_t>(big ? (first << 8) | second : (second << 8) | first));
  }
  return units;
}

void AppendUnits(std::string& out, std::u16string_view units, bool big) {
  for (const char16_t unit : units) {
    const auto high = static_cast<char>(unit >> 8);
    const auto low = static_cast<char>(unit & 0xFF);
    out.push_back(big ? high : low);
    out.push_back(big ? low : high);
  }
}

// Position of the byte at or after `from`, or npos.
std::size_t FindByte(std::string_view bytes, char byte, std::size_t from) {
  if (from >= bytes.size()) return kNone;
  const void* found = std::memchr(bytes.data() + from, byte, bytes.size() - from);
  return found == nullptr
             ? kNone
             : static_cast<std::size_t>(static_cast<const char*>(found) - bytes.data());
}

std::u16string AsciiUnits(std::string_view text) {
  return std::u16string(text.begin(), text.end());
}

}  // namespace

IniFile::IniFile(std::string_view fileBytes) {
  std::string_view bytes = fileBytes;
  if (bytes.starts_with(kUtf8Mark)) {
    form_ = Form::Utf8Marked;
    bytes.remove_prefix(kUtf8Mark.size());
  } else if ((bytes.starts_with(kUtf16LittleMark) || bytes.starts_with(kUtf16BigMark)) &&
             LooksLikeUtf16(bytes.substr(2))) {
    const bool big = bytes.starts_with(kUtf16BigMark);
    form_ = big ? Form::Utf16Big : Form::Utf16Little;
    ReadUtf16Lines(UnitsOf(bytes.substr(2), big));
    return;
  }
  bool endSeen = false;
  std::size_t start = 0;
  // The next CR and the next LF, each looked for once over the whole file: a file is read
  // many times per check, and a byte-by-byte search for either showed in the profiles.
  std::size_t nextCr = FindByte(bytes, '\r', 0);
  std::size_t nextLf = FindByte(bytes, '\n', 0);
  while (start < bytes.size()) {
    if (nextCr < start) nextCr = FindByte(bytes, '\r', start);
    if (nextLf < start) nextLf = FindByte(bytes, '\n', start);
    const std::size_t stop = nextCr < nextLf ? nextCr : nextLf;
    Line line;
    if (stop == kNone) {
      line.text = std::string(bytes.substr(start));
      start = bytes.size();
    } else {
      const bool crLf = bytes[stop] == '\r' && stop + 1 < bytes.size() && bytes[stop + 1] == '\n';
      const std::size_t endLength = crLf ? 2 : 1;
      line.text = std::string(bytes.substr(start, stop - start));
      line.end = std::string(bytes.substr(stop, endLength));
      start = stop + endLength;
      if (!endSeen) {
        newLineEnd_ = line.end;
        endSeen = true;
      }
    }
    Index(line);
    lines_.push_back(std::move(line));
  }
}

void IniFile::ReadUtf16Lines(std::u16string_view units) {
  // CR, LF and CR LF end a line here as in an 8-bit file; each line's 8-bit text is made from
  // its own characters.
  bool endSeen = false;
  std::size_t start = 0;
  while (start < units.size()) {
    std::size_t stop = start;
    while (stop < units.size() && units[stop] != u'\r' && units[stop] != u'\n') ++stop;
    Line line;
    line.units = std::u16string(units.substr(start, stop - start));
    line.text = Utf16ToNarrow(line.units);
    start = stop;
    if (stop < units.size()) {
      const bool crLf = units[stop] == u'\r' && stop + 1 < units.size() && units[stop + 1] == u'\n';
      line.end = crLf ? "\r\n" : units[stop] == u'\r' ? "\r" : "\n";
      start = stop + line.end.size();
      if (!endSeen) {
        newLineEnd_ = line.end;
        endSeen = true;
      }
    }
    Index(line);
    lines_.push_back(std::move(line));
  }
}

IniFile::Line IniFile::MakeLine(std::string text, std::string end) const {
  Line line;
  SetText(line, std::move(text));
  line.end = std::move(end);
  return line;
}

void IniFile::SetText(Line& line, std::string text) const {
  if (!Utf16()) {
    line.text = std::move(text);
  } else {
    // Written text is UTF-8 (bytes come through WriteBytes as Windows-1252 characters); the
    // 8-bit text is then what a fresh read of the file would make of the line.
    line.units = NarrowToUtf16(text);
    line.text = Utf16ToNarrow(line.units);
  }
  Index(line);
}

void IniFile::Index(Line& line) {
  const ParsedLine parsed = Parse(line.text);
  const char* start = line.text.data();
  line.kind = static_cast<int>(parsed.kind);
  line.nameAt = parsed.name.empty() ? 0 : static_cast<std::size_t>(parsed.name.data() - start);
  line.nameSize = parsed.name.size();
  line.valueAt = parsed.value.empty() ? 0 : static_cast<std::size_t>(parsed.value.data() - start);
  line.valueSize = parsed.value.size();
}

bool IniFile::IsSection(const Line& line) {
  return line.kind == static_cast<int>(LineKind::Section);
}

bool IniFile::IsKey(const Line& line) { return line.kind == static_cast<int>(LineKind::Key); }

std::string_view IniFile::NameOf(const Line& line) {
  return std::string_view(line.text).substr(line.nameAt, line.nameSize);
}

std::size_t IniFile::FindSection(std::string_view section) const {
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    if (IsSection(lines_[i]) && SameName(NameOf(lines_[i]), section)) return i;
  }
  return kNone;
}

std::size_t IniFile::FindKey(std::size_t sectionLine, std::string_view key) const {
  for (std::size_t i = sectionLine + 1; i < lines_.size(); ++i) {
    if (IsSection(lines_[i])) break;
    if (IsKey(lines_[i]) && SameName(NameOf(lines_[i]), key)) return i;
  }
  return kNone;
}

void IniFile::Remove(std::string_view section, std::string_view key) {
  const std::size_t sectionLine = FindSection(section);
  if (sectionLine == kNone) return;
  for (std::size_t line = FindKey(sectionLine, key); line != kNone;
       line = FindKey(sectionLine, key)) {
    lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(line));
  }
}

std::string_view IniFile::ValueOf(const Line& line) {
  std::string_view value = std::string_view(line.text).substr(line.valueAt, line.valueSize);
  if (Quoted(value)) value = value.substr(1, value.size() - 2);
  return value.substr(0, value.find('\0'));
}

std::optional<std::string> IniFile::Read(std::string_view section, std::string_view key) const {
  const std::size_t sectionLine = FindSection(section);
  if (sectionLine == kNone) return std::nullopt;
  const std::size_t keyLine = FindKey(sectionLine, key);
  if (keyLine == kNone) return std::nullopt;
  return std::string(ValueOf(lines_[keyLine]));
}

std::optional<std::string> IniFile::ReadText(std::string_view section, std::string_view key) const {
  const std::size_t sectionLine = FindSection(section);
  if (sectionLine == kNone) return std::nullopt;
  const std::size_t keyLine = FindKey(sectionLine, key);
  if (keyLine == kNone) return std::nullopt;
  if (!Utf16()) return DecodeUtf8OrWindows1252(ValueOf(lines_[keyLine]));
  // The 8-bit text of a UTF-16 line cannot tell Windows-1252 bytes from UTF-8; the line's own
  // characters can. Names, '=', blanks and quotes are ASCII, so the value sits where it does
  // in the 8-bit text.
  Line wide;
  wide.text = Utf16ToUtf8(lines_[keyLine].units);
  Index(wide);
  return std::string(ValueOf(wide));
}

bool IniFile::HasSection(std::string_view section) const { return FindSection(section) != kNone; }

void IniFile::WriteBytes(std::string_view section, std::string_view key, std::string_view value) {
  if (!Utf16()) return Write(section, key, value);
  // Written back as UTF-16, a line is read as UTF-8 when it is valid UTF-8; bytes that happen to
  // be valid UTF-8 must still come back as the same Windows-1252 characters.
  Write(section, key, Windows1252ToUtf8(value));
}

void IniFile::Write(std::string_view section, std::string_view key, std::string_view value) {
  value = value.substr(0, value.find_first_of(std::string_view("\0\r\n", 3)));
  std::string text(key);
  text += '=';
  if (Trim(value).size() != value.size() || Quoted(value)) {
    text += '"';
    text += value;
    text += '"';
  } else {
    text += value;
  }

  // A new line after one that had no line end gives that one the file's line end.
  auto insertAfter = [this](std::size_t index, std::string lineText) {
    if (index < lines_.size() && lines_[index].end.empty()) lines_[index].end = newLineEnd_;
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(index + 1),
                  MakeLine(std::move(lineText), newLineEnd_));
  };

  const std::size_t sectionLine = FindSection(section);
  if (sectionLine == kNone) {
    if (!lines_.empty() && lines_.back().end.empty()) lines_.back().end = newLineEnd_;
    // Appended piece by piece: "[" + std::string(...) makes GCC 12 at -O3 report a
    // -Wrestrict overlap that cannot happen.
    std::string header;
    header.reserve(section.size() + 2);
    header += '[';
    header += section;
    header += ']';
    lines_.push_back(MakeLine(std::move(header), newLineEnd_));
    lines_.push_back(MakeLine(std::move(text), newLineEnd_));
    return;
  }

  std::size_t lastKey = sectionLine;
  for (std::size_t i = sectionLine + 1; i < lines_.size(); ++i) {
    if (IsSection(lines_[i])) break;
    if (!IsKey(lines_[i])) continue;
    if (SameName(NameOf(lines_[i]), key)) {
      // Keep the key as the file spells it; only the value changes.
      std::string replaced(NameOf(lines_[i]));
      replaced += text.substr(key.size());
      SetText(lines_[i], std::move(replaced));
      return;
    }
    lastKey = i;
  }
  insertAfter(lastKey, std::move(text));
}

std::string IniFile::Bytes() const {
  std::string out;
  if (Utf16()) {
    const bool big = form_ == Form::Utf16Big;
    out += big ? kUtf16BigMark : kUtf16LittleMark;
    for (const Line& line : lines_) {
      AppendUnits(out, line.units, big);
      AppendUnits(out, AsciiUnits(line.end), big);
    }
    return out;
  }
  std::size_t size = 0;
  for (const Line& line : lines_) size += line.text.size() + line.end.size();
  out.reserve(size + kUtf8Mark.size());
  if (form_ == Form::Utf8Marked) out += kUtf8Mark;
  for (const Line& line : lines_) {
    out += line.text;
    out += line.end;
  }
  return out;
}

}  // namespace postvane
