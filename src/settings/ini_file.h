// Reader and writer of the private-profile ("INI") format over a file's bytes in memory.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace postvane {

// Behaves as the platform's private-profile functions: section and key names match without
// regard to ASCII case, the first of duplicate sections or keys wins, blanks around names and
// values are dropped, one pair of enclosing double quotes is removed from a value, a NUL ends a
// value. Writing a key rewrites only that key's line; every other line is kept byte for byte,
// and the file keeps its line ends (CR LF for a new file). CR, LF and CR LF each end a line.
// A file that starts with a byte-order mark (UTF-8, UTF-16 little or big endian) is read as the
// platform reads it and written back in the same form; values of a UTF-16 file come out as
// Windows-1252 bytes when every character has one, UTF-8 otherwise. The lines of a UTF-16 file
// that were not written go back unit for unit, never through that 8-bit form. (An 8-bit file
// that only starts with the bytes of a UTF-16 mark, without the zero bytes of UTF-16 text,
// stays 8-bit.)
class IniFile {
 public:
  IniFile() = default;
  explicit IniFile(std::string_view bytes);

  // The value's bytes, uncut; nullopt when the section or the key is missing. A key line
  // without a value gives the empty text.
  std::optional<std::string> Read(std::string_view section, std::string_view key) const;
  // The value as text, valid UTF-8: a UTF-16 file's characters as they are; an 8-bit file's
  // bytes as UTF-8 when they are valid UTF-8, else as Windows-1252.
  std::optional<std::string> ReadText(std::string_view section, std::string_view key) const;
  bool HasSection(std::string_view section) const;

  // Creates or replaces the key's line. A new key goes after the last key of its section,
  // a new section at the end of the file. A value that would not read back as it stands
  // (blanks at either end, enclosing quotes) is written inside double quotes; a value is
  // cut at its first NUL, CR or LF, which the format cannot hold.
  void Write(std::string_view section, std::string_view key, std::string_view value);

  // Removes the key's line (every copy of it in the first such section); nothing else changes.
  void Remove(std::string_view section, std::string_view key);
  // For values that are bytes rather than text: stored as they are in an 8-bit file, each byte
  // as its Windows-1252 character in a UTF-16 file, so that reading the file gives them back.
  void WriteBytes(std::string_view section, std::string_view key, std::string_view value);

  std::string Bytes() const;

 private:
  struct Line {
    std::string text;  // without its line end
    std::string end;   // "\r\n", "\n", or "" for a last line without one
    // A UTF-16 file's line as the file holds it, without its line end.
    std::u16string units;
    // The line parsed once, when its text was set: what it is, and where its name and its
    // value (trimmed, quotes still on) sit in the text.
    int kind = 0;
    std::size_t nameAt = 0;
    std::size_t nameSize = 0;
    std::size_t valueAt = 0;
    std::size_t valueSize = 0;
  };

  static void Index(Line& line);
  static bool IsSection(const Line& line);
  static bool IsKey(const Line& line);
  static std::string_view NameOf(const Line& line);

  void ReadUtf16Lines(std::u16string_view units);
  // A line of this file's form with the given 8-bit text.
  Line MakeLine(std::string text, std::string end) const;
  void SetText(Line& line, std::string text) const;
  bool Utf16() const { return form_ == Form::Utf16Little || form_ == Form::Utf16Big; }
  // The line's key value, trimmed and without its quotes, cut at a NUL.
  static std::string_view ValueOf(const Line& line);

  // Index of the first header line of the section, or npos.
  std::size_t FindSection(std::string_view section) const;
  // Index of the first key line of the section that starts at sectionLine, or npos.
  std::size_t FindKey(std::size_t sectionLine, std::string_view key) const;

  enum class Form { Bytes, Utf8Marked, Utf16Little, Utf16Big };

  std::vector<Line> lines_;
  Form form_ = Form::Bytes;
  std::string newLineEnd_ = "\r\n";
};

}  // namespace postvane
