// What an IMAP client puts on its command lines: folder names in modified UTF-7, quoted
// strings, UID sets and the SASL PLAIN credentials.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace postvane {

// A UTF-8 folder name as IMAP4rev1 sends it: printable ASCII as it is ("&" as "&-"), anything
// else as UTF-16 in base64 between "&" and "-". Bytes that are no UTF-8 become U+FFFD.
std::string ModifiedUtf7(std::string_view utf8);

// A quoted string with '"' and '\' escaped; nothing for text that no quoted string can carry
// (CR, LF or NUL).
std::optional<std::string> Quoted(std::string_view text);

// Only bytes a quoted string carries in every IMAP4rev1 server: 7-bit, no CR, LF or NUL.
bool SevenBitQuotable(std::string_view text);

// Sorted UIDs as a UID set, runs joined ("3:5,9").
std::string UidSet(std::vector<uint32_t> uids);

std::string Base64(std::string_view bytes);

// A decimal number within 32 bits, nothing otherwise.
std::optional<uint32_t> ParseUid(std::string_view text);

}  // namespace postvane
