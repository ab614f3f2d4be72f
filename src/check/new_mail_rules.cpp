// How replies to STAT, LAST, UIDL and TOP become counts, the newest unique-id and headers.
// Counts are computed in a wider type and clamped into 0..32767, so no reply overflows a field.
#include "check/new_mail_rules.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstring>
#include <optional>
#include <vector>

#include "check/header_block.h"
#include "text/encoded_words.h"

namespace postvane {

namespace {

constexpr int kMaxCount = 32767;
constexpr std::string_view kCrLf = "\r\n";
constexpr std::string_view kListingEnd = "\r\n.\r\n";

int16_t ClampCount(long value) {
  return static_cast<int16_t>(std::clamp<long>(value, 0, kMaxCount));
}

// ASCII only: the locale must not change what a server reply means.
constexpr char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

// Position of the first c in text at or after pos, or npos.
size_t FindChar(std::string_view text, char c, size_t pos) {
  if (pos >= text.size()) return std::string_view::npos;
  const void* hit = std::memchr(text.data() + pos, c, text.size() - pos);
  return hit ? static_cast<size_t>(static_cast<const char*>(hit) - text.data())
             : std::string_view::npos;
}

// First occurrence of needle (given in lower case) in text, ASCII letter case ignored.
// Candidates of the first character in either case are found with memchr; each case's next
// hit is remembered until passed, so every byte is scanned a bounded number of times.
size_t FindNoCase(std::string_view text, std::string_view lowerNeedle) {
  constexpr size_t npos = std::string_view::npos;
  if (lowerNeedle.empty()) return 0;
  if (text.size() < lowerNeedle.size()) return npos;
  const char first = lowerNeedle.front();
  const char firstUpper = (first >= 'a' && first <= 'z') ? static_cast<char>(first - 32) : first;
  const std::string_view candidates = text.substr(0, text.size() - lowerNeedle.size() + 1);
  size_t nextLower = FindChar(candidates, first, 0);
  size_t nextUpper = firstUpper == first ? npos : FindChar(candidates, firstUpper, 0);
  while (nextLower != npos || nextUpper != npos) {
    const size_t at = std::min(nextLower, nextUpper);
    size_t i = 1;
    while (i < lowerNeedle.size() && LowerAscii(text[at + i]) == lowerNeedle[i]) ++i;
    if (i == lowerNeedle.size()) return at;
    if (at == nextLower) nextLower = FindChar(candidates, first, at + 1);
    if (at == nextUpper) nextUpper = FindChar(candidates, firstUpper, at + 1);
  }
  return npos;
}

std::string_view TrimBlanksView(std::string_view text) {
  const size_t begin = text.find_first_not_of(' ');
  if (begin == std::string_view::npos) return {};
  const size_t end = text.find_last_not_of(' ');
  return text.substr(begin, end - begin + 1);
}

}  // namespace

int16_t ReadReplyNumber(std::string_view text) {
  size_t pos = 0;
  while (pos < text.size() &&
         (text[pos] == ' ' || text[pos] == '\t' || text[pos] == '\r' || text[pos] == '\n')) {
    ++pos;
  }
  int value = 0;
  for (; pos < text.size() && text[pos] >= '0' && text[pos] <= '9'; ++pos) {
    // Saturate instead of growing: a long run of digits must not overflow.
    value = std::min(value * 10 + (text[pos] - '0'), kMaxCount);
  }
  return static_cast<int16_t>(value);
}

std::string TrimBlanks(std::string_view text) { return std::string(TrimBlanksView(text)); }

void UpdateNewCountFromStat(MailboxRecord& record, std::string_view reply) {
  std::string_view countText;
  const size_t p1 = reply.find(' ');
  if (p1 == std::string_view::npos) {
    // No blank at all: only a number directly after the status word counts ("+OK\t7").
    countText = reply.starts_with("+OK") ? reply.substr(3) : reply;
  } else {
    // With a single blank the count runs to the end of the reply (no octet size given).
    const size_t p2 = reply.find(' ', p1 + 1);
    countText = p2 == std::string_view::npos ? reply.substr(p1) : reply.substr(p1, p2 - p1);
  }
  const int total = ReadReplyNumber(countText);
  if (total > record.MessageCount) {
    record.NewCount = ClampCount(static_cast<long>(record.NewCount) +
                                 (total - static_cast<long>(record.MessageCount)));
  }
  record.MessageCount = static_cast<int16_t>(total);
}

void EvaluateUidlListing(MailboxRecord& record, std::string_view listing) {
  if (FindNoCase(listing, "+ok") == std::string_view::npos) return;

  const size_t statusEnd = listing.find(kCrLf);
  if (statusEnd == std::string_view::npos) return;
  // Lines whose CR LF begins after the first terminator belong to nothing we asked for.
  const size_t terminator = listing.find(kListingEnd);
  if (terminator == std::string_view::npos) return;

  const long messageCount = record.MessageCount;
  bool matched = false;
  size_t lineStart = statusEnd + kCrLf.size();
  while (lineStart < listing.size()) {
    const size_t lineEnd = listing.find(kCrLf, lineStart);
    if (lineEnd == std::string_view::npos || lineEnd > terminator) break;
    const std::string_view line = listing.substr(lineStart, lineEnd - lineStart);
    lineStart = lineEnd + kCrLf.size();

    // A line without a blank is all number and carries no unique-id.
    const size_t blank = line.find(' ');
    const int n = ReadReplyNumber(line.substr(0, blank));
    const std::string_view uid = blank == std::string_view::npos
                                     ? std::string_view{}
                                     : TrimBlanksView(line.substr(blank + 1));

    // An empty unique-id never stands for the acknowledged message: an empty UIDL means none.
    if (!matched && !uid.empty() && uid == record.UIDL) {
      record.NewCount = ClampCount(messageCount - n);
      matched = true;
    }
    if (n == messageCount) {
      record.NewestUidl.assign(uid);
      if (!matched) record.NewCount = record.MessageCount;
    }
  }
}

void FinishNewCount(MailboxRecord& record) {
  const long messageCount = record.MessageCount;
  long cap = messageCount;
  if (record.LastAccessed != -1 && record.LastMail != kFalse) {
    // A LAST above the message count caps at 0 rather than going negative.
    cap = messageCount - record.LastAccessed;
  }
  if (cap < record.NewCount) record.NewCount = ClampCount(cap);
  if (record.NewCount < 0) record.NewCount = 0;
}

void ExtractHeaders(MailboxRecord& record, std::string_view reply, int16_t messageNumber,
                    const CharsetConverter* charsets) {
  const long k = static_cast<long>(record.MessageCount) - messageNumber + 1;
  // Element 0 is never filled; anything outside 1..upper bound is left alone.
  if (k < 1 || k >= static_cast<long>(record.Headers.size())) return;
  ReadMessageHeader(record.Headers[static_cast<size_t>(k)], AfterStatusLine(reply), charsets);
}

void ReadMessageHeader(MessageHeader& header, std::string_view headerSection,
                       const CharsetConverter* charsets) {
  static constexpr std::array<std::string_view, 5> kNames{"from", "to", "subject", "x-priority",
                                                          "date"};
  static constexpr std::array<std::string MessageHeader::*, 5> kMembers{
      &MessageHeader::From, &MessageHeader::To, &MessageHeader::Subject, &MessageHeader::Priority,
      &MessageHeader::Date};
  std::array<std::optional<std::string>, kNames.size()> values;
  FirstHeaderValues(headerSection, kNames, values);
  for (size_t i = 0; i < kNames.size(); ++i) {
    if (!values[i]) continue;
    header.*kMembers[i] = DecodeHeaderText(*values[i], charsets, kMaxHeaderValueBytes);
  }
}

}  // namespace postvane
