// Builds the status tree and the mailbox-line texts of expand and collapse.
#include "ui/status_tree.h"

#include "check/mailbox_table.h"
#include "check/secure_failure_text.h"
#include "text/display_text.h"
#include "text/own_text.h"
#include "text/string_table.h"

namespace postvane {
namespace {

constexpr std::string_view kAccountSuffix = "Account";

std::string S(const CheckState& state, StringId id) { return LocalString(state.LanguageBase, id); }

std::string LongMailboxText(const CheckState& state, const MailboxRecord& mailbox,
                            const DateText& dateText) {
  return DisplayText(mailbox.Name) + " " + std::to_string(mailbox.NewCount) + " " +
         S(state, StringId::NewMessages) + " - " + dateText.Format(mailbox.LastCheck);
}

// Index of a mailbox key, or nothing for any other node.
std::optional<int> MailboxIndexOfKey(std::string_view key) {
  if (key.size() < kAccountSuffix.size() ||
      key.substr(key.size() - kAccountSuffix.size()) != kAccountSuffix) {
    return std::nullopt;
  }
  int index = 0;
  size_t digits = 0;
  while (digits < key.size() && key[digits] >= '0' && key[digits] <= '9') {
    index = index * 10 + (key[digits] - '0');
    ++digits;
    if (index >= kUserMailboxes) return std::nullopt;
  }
  if (digits == 0) return std::nullopt;
  return index;
}

}  // namespace

std::optional<NodeRgb> ColorRgb(NodeColor color) {
  switch (color) {
    case NodeColor::Magenta:
      return NodeRgb{128, 0, 128};
    case NodeColor::DarkRed:
      return NodeRgb{128, 0, 0};
    case NodeColor::None:
      break;
  }
  return std::nullopt;
}

std::string PriorityText(const CheckState& state, std::string_view priority) {
  if (priority.size() == 1 && priority[0] >= '1' && priority[0] <= '5') {
    return S(state, static_cast<StringId>(static_cast<int>(StringId::PriorityVeryLow) +
                                          ('5' - priority[0])));
  }
  return S(state, StringId::Priority) + " " + DisplayText(priority);
}

std::vector<StatusNode> BuildStatusTree(const CheckState& state, const DateText& dateText) {
  std::vector<StatusNode> nodes;
  for (int i = 0; i < kUserMailboxes; ++i) {
    const MailboxRecord& mailbox = state.Mailboxes[i];
    if (mailbox.Enabled == kFalse) continue;
    const std::string digit = std::to_string(i);

    const std::string mailboxKey = digit + " Account";
    const size_t mailboxNode = nodes.size();
    nodes.push_back({"", mailboxKey, LongMailboxText(state, mailbox, dateText)});

    const std::string newKey = "Eintrag 2" + digit;
    const size_t newNode = nodes.size();
    nodes.push_back({mailboxKey, newKey,
                     std::to_string(mailbox.NewCount) + " " + S(state, StringId::NewMessages)});

    // Element 1 is the newest message and carries the highest number.
    const int upper = HeadersUpperBound(mailbox);
    for (int k = 1; k <= upper; ++k) {
      const MessageHeader& header = mailbox.Headers[k];
      const std::string suffix = digit + std::to_string(k);
      const std::string messageKey = "Eintrag 6" + suffix;
      const size_t messageNode = nodes.size();
      nodes.push_back(
          {newKey, messageKey, S(state, StringId::Message) + " " + std::to_string(upper - k + 1)});
      nodes.push_back({messageKey, "Eintrag 7" + suffix,
                       S(state, StringId::From) + " " + DisplayAddresses(header.From)});
      nodes.push_back({messageKey, "Eintrag 8" + suffix,
                       S(state, StringId::To) + " " + DisplayAddresses(header.To)});
      nodes.push_back({messageKey, "Eintrag 9" + suffix,
                       S(state, StringId::Subject) + " " + DisplayText(header.Subject)});
      nodes.push_back({messageKey, "Eintrag 10" + suffix,
                       S(state, StringId::Date) + " " + DisplayText(header.Date)});
      nodes.push_back({messageKey, "Eintrag 11" + suffix, PriorityText(state, header.Priority)});
      if (header.Priority == "1") {
        nodes[mailboxNode].Color = NodeColor::Magenta;
        nodes[newNode].Color = NodeColor::Magenta;
        nodes[messageNode].Color = NodeColor::Magenta;
      }
    }

    nodes.push_back(
        {mailboxKey, "Eintrag 3" + digit,
         std::to_string(mailbox.MessageCount) + " " + S(state, StringId::MessagesInMailbox)});

    const bool failed = !mailbox.StatusText.empty();
    nodes.push_back({mailboxKey, "Eintrag 4" + digit,
                     failed ? DisplayText(mailbox.StatusText) : S(state, StringId::NoError)});
    // After the messages: a failed check outranks an urgent message on the mailbox line.
    if (failed) {
      nodes[mailboxNode].Color = NodeColor::DarkRed;
      nodes.back().Color = NodeColor::DarkRed;
    }
    // A certificate the check refused, for the user to judge before trusting it; its names
    // come from the server and go through the same filter as header texts.
    const std::string statusKey = "Eintrag 4" + digit;
    const std::vector<std::string> details =
        CertificateDetails(state.LanguageBase, mailbox.RejectedCertificate);
    for (std::size_t k = 0; k < details.size(); ++k) {
      nodes.push_back(
          {statusKey, "Eintrag 12" + digit + "." + std::to_string(k), DisplayText(details[k])});
    }
    // What an IMAP server asked to be shown ([ALERT]), as plain text like every server text.
    if (!mailbox.ServerAlert.empty()) {
      nodes.push_back({statusKey, "Eintrag 13" + digit,
                       OwnString(state.LanguageBase, OwnText::ServerNotice) + ": " +
                           DisplayText(mailbox.ServerAlert)});
    }
  }
  return nodes;
}

std::optional<std::string> StatusNodeTextOnExpand(std::string_view key, const CheckState& state,
                                                  const DateText& dateText) {
  const std::optional<int> index = MailboxIndexOfKey(key);
  if (!index) return std::nullopt;
  const MailboxRecord& mailbox = state.Mailboxes[*index];
  return DisplayText(mailbox.Name) + " - " + dateText.Format(mailbox.LastCheck);
}

std::optional<std::string> StatusNodeTextOnCollapse(std::string_view key, const CheckState& state,
                                                    const DateText& dateText) {
  const std::optional<int> index = MailboxIndexOfKey(key);
  if (!index) return std::nullopt;
  return LongMailboxText(state, state.Mailboxes[*index], dateText);
}

}  // namespace postvane
