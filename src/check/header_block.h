// The header section of a TOP reply, and the first header line of a name in it, unfolded.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace postvane {

// No header value grows past this many bytes, before or after decoding.
inline constexpr std::size_t kMaxHeaderValueBytes = 16 * 1024;

// The reply after its status line. CR LF, a lone LF and a lone CR each end a line.
std::string_view AfterStatusLine(std::string_view reply);

// The reply's status line and as many of the header lines after it as fit whole, line ends
// included, in `limit` bytes.
std::string_view LeadingHeaderLines(std::string_view reply, std::size_t limit);

// Reads header lines up to the first empty line (the end of the header section) or the end
// of the text. For each name (lower case, without the colon) the value of the first header
// line that starts with that name and a colon, letter case ignored; nothing when there is
// none. Continuation lines (starting with a blank or tab) are unfolded into the value, runs
// of blanks and tabs become one blank and the value is trimmed; at most kMaxHeaderValueBytes.
// Empty names are not allowed.
void FirstHeaderValues(std::string_view text, std::span<const std::string_view> lowerNames,
                       std::span<std::optional<std::string>> values);

}  // namespace postvane
