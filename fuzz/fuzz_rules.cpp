// Fuzz target: the new-mail rules and the reply search called directly, each result checked
// against the rule written out the plain way.
//
// Input: operation, then the record the rules work on, then the reply text (the rest).
//   0     operation (see Operation)
//   1-2   MessageCount        3-4  NewCount        5-6  LastAccessed (0xFFFF: -1)
//   7     bit 0 LastMail; bits 1-7 acknowledged UIDL: 0 none, n the unique-id "u<n>"
//   8     upper bound of Headers
//   9-10  message number for ExtractHeaders
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "check/header_block.h"
#include "check/mailbox_table.h"
#include "check/new_mail_rules.h"
#include "check/reply_watch.h"
#include "fuzz_input.h"
#include "text/text_encoding.h"

namespace postvane::fuzz {
namespace {

enum Operation : uint8_t {
  kNumber = 0,
  kStat = 1,
  kUidl = 2,
  kFinish = 3,
  kHeaders = 4,
  kWholeCheck = 5,  // STAT, UIDL listing and the cap, as the dialogue runs them
  kWatch = 6,       // the incremental completion tests against a plain search
  kOperationCount = 7,
};

constexpr int kMaxCount = 32767;

int16_t Count(uint16_t word) { return static_cast<int16_t>(word % (kMaxCount + 1)); }

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

std::size_t FindNoCase(std::string_view text, std::string_view needle, std::size_t from = 0) {
  for (std::size_t i = from; i + needle.size() <= text.size(); ++i) {
    std::size_t k = 0;
    while (k < needle.size() && Lower(text[i + k]) == Lower(needle[k])) ++k;
    if (k == needle.size()) return i;
  }
  return std::string_view::npos;
}

int ReferenceNumber(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && std::string_view(" \t\r\n").find(text[i]) != std::string_view::npos) {
    ++i;
  }
  long value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = std::min<long>(value * 10 + (text[i] - '0'), kMaxCount);
  }
  return static_cast<int>(value);
}

std::string_view ReferenceTrim(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  return text;
}

void CheckCounts(const MailboxRecord& box) {
  POSTVANE_FUZZ_CHECK(box.MessageCount >= 0 && box.NewCount >= 0 && box.LastAccessed >= -1);
}

bool SameHeader(const MessageHeader& a, const MessageHeader& b) {
  return a.From == b.From && a.To == b.To && a.Subject == b.Subject && a.Priority == b.Priority &&
         a.Date == b.Date;
}

void CheckNumber(std::string_view text) {
  const int16_t value = ReadReplyNumber(text);
  POSTVANE_FUZZ_CHECK(value == ReferenceNumber(text));
  const std::string trimmed = TrimBlanks(text);
  POSTVANE_FUZZ_CHECK(trimmed == ReferenceTrim(text));
}

void CheckStat(MailboxRecord& box, std::string_view reply) {
  const MailboxRecord before = box;
  UpdateNewCountFromStat(box, reply);
  CheckCounts(box);
  // The message count is the number between the first two blanks.
  const std::size_t p1 = reply.find(' ');
  if (p1 != std::string_view::npos) {
    const std::size_t p2 = reply.find(' ', p1 + 1);
    const std::string_view between =
        reply.substr(p1, p2 == std::string_view::npos ? std::string_view::npos : p2 - p1);
    POSTVANE_FUZZ_CHECK(box.MessageCount == ReferenceNumber(between));
  }
  // Growth adds to the new messages, clamped; shrinking changes nothing there.
  const long growth = static_cast<long>(box.MessageCount) - before.MessageCount;
  const long expected =
      growth > 0 ? std::min<long>(before.NewCount + growth, kMaxCount) : before.NewCount;
  POSTVANE_FUZZ_CHECK(box.NewCount == expected);
  POSTVANE_FUZZ_CHECK(box.NewestUidl == before.NewestUidl && box.UIDL == before.UIDL);
}

// The listing as the rules read it: lines up to the first terminator, after the status line.
struct ListingLine {
  int Number = 0;
  std::string_view Uid;
};

std::optional<std::vector<ListingLine>> ReferenceListing(std::string_view listing) {
  if (FindNoCase(listing, "+ok") == std::string_view::npos) return std::nullopt;
  const std::size_t terminator = listing.find("\r\n.\r\n");
  if (terminator == std::string_view::npos) return std::nullopt;
  std::vector<ListingLine> lines;
  std::size_t start = listing.find("\r\n") + 2;
  for (;;) {
    const std::size_t end = listing.find("\r\n", start);
    if (end == std::string_view::npos || end > terminator) break;
    const std::string_view line = listing.substr(start, end - start);
    const std::size_t blank = line.find(' ');
    ListingLine parsed;
    parsed.Number = ReferenceNumber(line.substr(0, blank));
    if (blank != std::string_view::npos) parsed.Uid = ReferenceTrim(line.substr(blank + 1));
    lines.push_back(parsed);
    start = end + 2;
  }
  return lines;
}

void CheckUidl(MailboxRecord& box, std::string_view listing) {
  const MailboxRecord before = box;
  EvaluateUidlListing(box, listing);
  CheckCounts(box);
  POSTVANE_FUZZ_CHECK(box.MessageCount == before.MessageCount);
  POSTVANE_FUZZ_CHECK(box.LastAccessed == before.LastAccessed && box.UIDL == before.UIDL);

  int16_t newCount = before.NewCount;
  std::string newest = before.NewestUidl;
  if (const auto lines = ReferenceListing(listing)) {
    bool matched = false;
    for (const ListingLine& line : *lines) {
      if (!matched && !line.Uid.empty() && line.Uid == before.UIDL) {
        newCount =
            static_cast<int16_t>(std::clamp(before.MessageCount - line.Number, 0, kMaxCount));
        matched = true;
      }
      if (line.Number == before.MessageCount) {
        newest = std::string(line.Uid);
        if (!matched) newCount = before.MessageCount;
      }
    }
  }
  POSTVANE_FUZZ_CHECK(box.NewCount == newCount);
  POSTVANE_FUZZ_CHECK(box.NewestUidl == newest);
  POSTVANE_FUZZ_CHECK(ReferenceTrim(box.NewestUidl).size() == box.NewestUidl.size() ||
                      box.NewestUidl == before.NewestUidl);
}

void CheckFinish(MailboxRecord& box) {
  const MailboxRecord before = box;
  FinishNewCount(box);
  CheckCounts(box);
  long cap = before.MessageCount;
  if (before.LastAccessed != -1 && before.LastMail != kFalse) {
    cap = static_cast<long>(before.MessageCount) - before.LastAccessed;
  }
  const long expected = std::max<long>(0, std::min<long>(before.NewCount, cap));
  POSTVANE_FUZZ_CHECK(box.NewCount == expected);
  POSTVANE_FUZZ_CHECK(box.NewCount <= box.MessageCount);
  POSTVANE_FUZZ_CHECK(box.MessageCount == before.MessageCount);
}

// Lines the plain way: CR LF, a lone LF and a lone CR each end one.
std::vector<std::string_view> PlainLines(std::string_view text) {
  std::vector<std::string_view> lines;
  std::size_t i = 0;
  while (i < text.size()) {
    std::size_t j = i;
    while (j < text.size() && text[j] != '\r' && text[j] != '\n') ++j;
    lines.push_back(text.substr(i, j - i));
    if (j == text.size()) break;
    i = j + ((text[j] == '\r' && j + 1 < text.size() && text[j + 1] == '\n') ? 2 : 1);
  }
  return lines;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// The first header line of that name in the header section, with its continuation lines,
// unfolded and trimmed; nothing when there is none.
std::optional<std::string> ReferenceHeader(std::string_view reply, std::string_view name) {
  const std::vector<std::string_view> lines = PlainLines(reply);
  for (std::size_t i = 1; i < lines.size() && !lines[i].empty(); ++i) {
    const std::string_view line = lines[i];
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos || colon != name.size()) continue;
    bool same = true;
    for (std::size_t k = 0; k < colon; ++k) same = same && Lower(line[k]) == name[k];
    if (!same) continue;
    std::string raw(line.substr(colon + 1));
    for (std::size_t n = i + 1; n < lines.size() && !lines[n].empty() && IsBlank(lines[n][0]);
         ++n) {
      raw += lines[n];
    }
    std::string value;
    bool blank = false;
    for (char c : raw) {
      if (IsBlank(c)) {
        blank = !value.empty();
      } else {
        if (blank) value += ' ';
        blank = false;
        value += c;
      }
    }
    return value.substr(0, kMaxHeaderValueBytes);
  }
  return std::nullopt;
}

void CheckHeaders(MailboxRecord& box, std::string_view reply, int16_t messageNumber) {
  const MailboxRecord before = box;
  ExtractHeaders(box, reply, messageNumber);
  POSTVANE_FUZZ_CHECK(box.Headers.size() == before.Headers.size());
  const long k = static_cast<long>(box.MessageCount) - messageNumber + 1;
  for (std::size_t i = 0; i < box.Headers.size(); ++i) {
    if (static_cast<long>(i) == k && k >= 1) continue;
    POSTVANE_FUZZ_CHECK(SameHeader(box.Headers[i], before.Headers[i]));
  }
  if (k < 1 || k >= static_cast<long>(box.Headers.size())) return;
  const MessageHeader& header = box.Headers[static_cast<std::size_t>(k)];
  const struct {
    std::string_view name;
    const std::string& value;
  } fields[] = {{"from", header.From},
                {"to", header.To},
                {"subject", header.Subject},
                {"x-priority", header.Priority},
                {"date", header.Date}};
  for (const auto& field : fields) {
    const std::optional<std::string> raw = ReferenceHeader(reply, field.name);
    if (!raw) {
      POSTVANE_FUZZ_CHECK(field.value.empty());  // the resized element starts empty
      continue;
    }
    // Plain UTF-8 without encoded words is shown as it is; anything else is decoded into
    // bounded, valid UTF-8.
    if (IsValidUtf8(*raw) && raw->find("=?") == std::string::npos) {
      POSTVANE_FUZZ_CHECK(field.value == *raw);
    }
    POSTVANE_FUZZ_CHECK(IsValidUtf8(field.value));
    POSTVANE_FUZZ_CHECK(field.value.size() <= kMaxHeaderValueBytes);
  }
}

// Feeds the text in pieces and asks the watch after each, as the dialogue does.
void CheckWatch(FuzzInput& in, uint8_t flags) {
  static constexpr std::string_view kNeedles[] = {"\r\n.\r\n", "-ERR", "\r\n"};
  const std::string_view needle = kNeedles[flags % 3];
  const CaseRule rule = (flags & 4) != 0 ? CaseRule::IgnoreCase : CaseRule::Exact;
  ReplyWatch watch(needle, rule);
  std::string buffer;
  while (!in.Empty()) {
    const std::size_t oldSize = buffer.size();
    buffer += in.ShortText();
    const bool found = watch.Update(buffer, oldSize);
    const bool expected = rule == CaseRule::Exact ? buffer.find(needle) != std::string::npos
                                                  : FindNoCase(buffer, needle) != std::string::npos;
    POSTVANE_FUZZ_CHECK(found == expected);
    POSTVANE_FUZZ_CHECK(FindIgnoreCase(buffer, needle) == FindNoCase(buffer, needle));
  }
}

}  // namespace
}  // namespace postvane::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  using namespace postvane;
  using namespace postvane::fuzz;
  FuzzInput in(data, size);
  const uint8_t operation = in.Byte() % kOperationCount;
  MailboxRecord box;
  box.MessageCount = Count(in.Word());
  box.NewCount = Count(in.Word());
  const uint16_t lastAccessed = in.Word();
  box.LastAccessed = lastAccessed == 0xFFFF ? int16_t{-1} : Count(lastAccessed);
  const uint8_t flags = in.Byte();
  box.LastMail = (flags & 1) != 0 ? kTrue : kFalse;
  if ((flags >> 1) != 0) box.UIDL = "u" + std::to_string(flags >> 1);
  box.Headers.resize(std::size_t{in.Byte()} + 1);
  const int16_t messageNumber = Count(in.Word());

  switch (operation) {
    case kNumber:
      CheckNumber(in.Rest());
      break;
    case kStat:
      CheckStat(box, in.Rest());
      break;
    case kUidl:
      CheckUidl(box, in.Rest());
      break;
    case kFinish:
      CheckFinish(box);
      break;
    case kHeaders:
      CheckHeaders(box, in.Rest(), messageNumber);
      break;
    case kWholeCheck: {
      const std::string stat = in.ShortText();
      CheckStat(box, stat);
      CheckUidl(box, in.Rest());
      CheckFinish(box);
      break;
    }
    case kWatch:
      CheckWatch(in, flags);
      break;
    default:
      break;
  }
  return 0;
}
