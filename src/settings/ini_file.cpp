// Private-profile parsing and line-by-line updates.
#include "settings/ini_file.h"

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

// UTF-16 bytes (after the mark) as 8-bit lines, each converted on its own; an odd last byte is
// dropped. CR and LF both end a line here as they do for the reader.
std::string NarrowFromUtf16(std::string_view bytes, bool big) {
  std::string out;
  std::u16string line;
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    const auto first = static_cast<unsigned char>(bytes[i]);
    const auto second = static_cast<unsigned char>(bytes[i + 1]);
    const auto unit = static_cast<char16_t>(big ? (first << 8) | second : (second << 8) | first);
    line.push_back(unit);
    if (unit == u'\n' || unit == u'\r') {
      out += Utf16ToNarrow(line);
      line.clear();
    }
  }
  out += Utf16ToNarrow(line);
  return out;
}

std::string Utf16FromNarrow(std::string_view text, bool big) {
  std::string out(big ? kUtf16BigMark : kUtf16LittleMark);
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find_first_of("\r\n", start);
    end = end == kNone ? text.size() : end + 1;
    for (char16_t unit : NarrowToUtf16(text.substr(start, end - start))) {
      const auto high = static_cast<char>(unit >> 8);
      const auto low = static_cast<char>(unit & 0xFF);
      out.push_back(big ? high : low);
      out.push_back(big ? low : high);
    }
    start = end;
  }
  return out;
}

}  // namespace

IniFile::IniFile(std::string_view fileBytes) {
  std::string converted;
  std::string_view bytes = fileBytes;
  if (bytes.starts_with(kUtf8Mark)) {
    form_ = Form::Utf8Marked;
    bytes.remove_prefix(kUtf8Mark.size());
  } else if ((bytes.starts_with(kUtf16LittleMark) || bytes.starts_with(kUtf16BigMark)) &&
             LooksLikeUtf16(bytes.substr(2))) {
    const bool big = bytes.starts_with(kUtf16BigMark);
    form_ = big ? Form::Utf16Big : Form::Utf16Little;
    converted = NarrowFromUtf16(bytes.substr(2), big);
    bytes = converted;
  }
  bool endSeen = false;
  std::size_t start = 0;
  while (start < bytes.size()) {
    const std::size_t stop = bytes.find_first_of("\r\n", start);
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
    lines_.push_back(std::move(line));
  }
}

std::size_t IniFile::FindSection(std::string_view section) const {
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    const ParsedLine parsed = Parse(lines_[i].text);
    if (parsed.kind == LineKind::Section && SameName(parsed.name, section)) return i;
  }
  return kNone;
}

std::size_t IniFile::FindKey(std::size_t sectionLine, std::string_view key) const {
  for (std::size_t i = sectionLine + 1; i < lines_.size(); ++i) {
    const ParsedLine parsed = Parse(lines_[i].text);
    if (parsed.kind == LineKind::Section) break;
    if (parsed.kind == LineKind::Key && SameName(parsed.name, key)) return i;
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

std::optional<std::string> IniFile::Read(std::string_view section, std::string_view key) const {
  const std::size_t sectionLine = FindSection(section);
  if (sectionLine == kNone) return std::nullopt;
  const std::size_t keyLine = FindKey(sectionLine, key);
  if (keyLine == kNone) return std::nullopt;
  std::string_view value = Parse(lines_[keyLine].text).value;
  if (Quoted(value)) value = value.substr(1, value.size() - 2);
  return std::string(value.substr(0, value.find('\0')));
}

bool IniFile::HasSection(std::string_view section) const { return FindSection(section) != kNone; }

void IniFile::WriteBytes(std::string_view section, std::string_view key, std::string_view value) {
  if (form_ != Form::Utf16Little && form_ != Form::Utf16Big) return Write(section, key, value);
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
                  Line{std::move(lineText), newLineEnd_});
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
    lines_.push_back(Line{std::move(header), newLineEnd_});
    lines_.push_back(Line{std::move(text), newLineEnd_});
    return;
  }

  std::size_t lastKey = sectionLine;
  for (std::size_t i = sectionLine + 1; i < lines_.size(); ++i) {
    const ParsedLine parsed = Parse(lines_[i].text);
    if (parsed.kind == LineKind::Section) break;
    if (parsed.kind != LineKind::Key) continue;
    if (SameName(parsed.name, key)) {
      // Keep the key as the file spells it; only the value changes.
      std::string replaced(parsed.name);
      replaced += text.substr(key.size());
      lines_[i].text = std::move(replaced);
      return;
    }
    lastKey = i;
  }
  insertAfter(lastKey, std::move(text));
}

std::string IniFile::Bytes() const {
  std::size_t size = 0;
  for (const Line& line : lines_) size += line.text.size() + line.end.size();
  std::string out;
  out.reserve(size + kUtf8Mark.size());
  if (form_ == Form::Utf8Marked) out += kUtf8Mark;
  for (const Line& line : lines_) {
    out += line.text;
    out += line.end;
  }
  if (form_ == Form::Utf16Little || form_ == Form::Utf16Big) {
    return Utf16FromNarrow(out, form_ == Form::Utf16Big);
  }
  return out;
}

}  // namespace postvane
