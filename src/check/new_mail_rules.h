// How replies to STAT, LAST, UIDL and TOP become counts, the newest unique-id and headers.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "check/mailbox_table.h"
#include "ports/charset_converter.h"

namespace postvane {

// The leading decimal number of a reply text: blanks, tabs, CR and LF skipped first,
// digits up to the first other character, 0 without digits. Clamped to 0..32767.
int16_t ReadReplyNumber(std::string_view text);

// Removes leading and trailing blanks (character 32) only.
std::string TrimBlanks(std::string_view text);

void UpdateNewCountFromStat(MailboxRecord& record, std::string_view reply);
void EvaluateUidlListing(MailboxRecord& record, std::string_view listing);
void FinishNewCount(MailboxRecord& record);
// Fills element MessageCount - messageNumber + 1 of Headers when it exists, with the decoded
// values of the first From, To, Subject, X-Priority and Date lines of the header section.
// Charsets beyond the built-in ones need a converter; without one their words stay encoded.
void ExtractHeaders(MailboxRecord& record, std::string_view reply, int16_t messageNumber,
                    const CharsetConverter* charsets = nullptr);
// The same for a header section without a status line before it (an IMAP literal).
void ReadMessageHeader(MessageHeader& header, std::string_view headerSection,
                       const CharsetConverter* charsets = nullptr);

}  // namespace postvane
