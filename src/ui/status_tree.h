// The status window's tree as plain nodes: what the window shows, built from the mailbox table.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "check/check_state.h"
#include "ports/date_text.h"

namespace postvane {

enum class NodeColor { None, Magenta, DarkRed };

struct NodeRgb {
  uint8_t Red = 0;
  uint8_t Green = 0;
  uint8_t Blue = 0;
  bool operator==(const NodeRgb&) const = default;
};

// Magenta (128, 0, 128) and dark red (128, 0, 0); nothing for the tree's own colour.
std::optional<NodeRgb> ColorRgb(NodeColor color);

struct StatusNode {
  std::string Parent;  // key of the parent node; empty at the top level
  std::string Key;
  std::string Text;
  NodeColor Color = NodeColor::None;
};

// Nodes in insertion order: every parent comes before its children, children in display order.
// Only enabled mailboxes appear; every node starts collapsed.
std::vector<StatusNode> BuildStatusTree(const CheckState& state, const DateText& dateText);

// The priority node's text for a raw X-Priority value.
std::string PriorityText(const CheckState& state, std::string_view priority);

// Mailbox lines change with expand and collapse, from the table's values at that moment.
// Nothing for any key that is not a mailbox key ("<index> Account", index 0..9).
std::optional<std::string> StatusNodeTextOnExpand(std::string_view key, const CheckState& state,
                                                  const DateText& dateText);
std::optional<std::string> StatusNodeTextOnCollapse(std::string_view key, const CheckState& state,
                                                    const DateText& dateText);

}  // namespace postvane
