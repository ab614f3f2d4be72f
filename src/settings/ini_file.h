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
// A UTF-8 byte-order mark is skipped and kept; a file that starts with a UTF-16 byte-order
// mark is read as UTF-16 and written back as UTF-16, as the platform's functions do.
class IniFile {
 public:
  IniFile() = default;
  explicit IniFile(std::string_view bytes);

  // The value's bytes, uncut; nullopt when the section or the key is missing. A key line
  // without a value gives the empty text.
  std::optional<std::string> Read(std::string_view section, std::string_view key) const;

  bool HasSection(std::string_view section) const;

  // The value as 8-bit bytes: the same as Read for an 8-bit file; for a UTF-16 file, its
  // characters in Windows-1252, the inverse of WriteBytes.
  std::optional<std::string> ReadBytes(std::string_view section, std::string_view key) const;

  // Creates or replaces the key's line. A new key goes after the last key of its section,
  // a new section at the end of the file. A value that would not read back as it stands
  // (blanks at either end, enclosing quotes) is written inside double quotes; a value is
  // cut at its first NUL, CR or LF, which the format cannot hold. In a UTF-16 file the
  // value is text: UTF-8, else taken as Windows-1252.
  void Write(std::string_view section, std::string_view key, std::string_view value);

  // For values that are bytes rather than text: stored as they are in an 8-bit file, each
  // byte as its Windows-1252 character in a UTF-16 file, so that ReadBytes gives them back.
  void WriteBytes(std::string_view section, std::string_view key, std::string_view value);

  bool IsUtf16() const { return encoding_ == Encoding::Utf16Le || encoding_ == Encoding::Utf16Be; }

  std::string Bytes() const;

 private:
  enum class Encoding { Bytes, Utf8Mark, Utf16Le, Utf16Be };

  struct Line {
    std::string text;  // without its line end
    std::string end;   // "\r\n", "\n", or "" for a last line without one
  };

  // Index of the first header line of the section, or npos.
  std::size_t FindSection(std::string_view section) const;
  // Index of the first key line of the section that starts at sectionLine, or npos.
  std::size_t FindKey(std::size_t sectionLine, std::string_view key) const;

  void WriteLine(std::string_view section, std::string_view key, std::string_view value);

  Encoding encoding_ = Encoding::Bytes;
  std::vector<Line> lines_;
  std::string newLineEnd_ = "\r\n";
};

}  // namespace postvane
