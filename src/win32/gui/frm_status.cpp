// Nodes come from the core's status tree; only the tree-view calls are here.
#include "win32/gui/frm_status.h"

#include <commctrl.h>

#include <map>

#include "win32/wide_text.h"

namespace postvane {

frmStatus::frmStatus(PostvaneApp& app) : app_(app) {
  Create(L"Status", 287, 184, WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX);
  tree_ = AddControl(WC_TREEVIEWW, L"",
                     WS_BORDER | WS_TABSTOP | WS_HSCROLL | WS_VSCROLL | TVS_HASBUTTONS |
                         TVS_HASLINES | TVS_LINESATROOT | TVS_SHOWSELALWAYS,
                     7, 7, 274, 169);
  Form_Load();
}

void frmStatus::Form_Load() {
  TreeView_DeleteAllItems(tree_);
  nodes_ = app_.BuildStatusTree();
  std::map<std::string, HTREEITEM> byKey;
  for (std::size_t i = 0; i < nodes_.size(); ++i) {
    const StatusNode& node = nodes_[i];
    std::wstring text = Widen(node.Text);
    TVINSERTSTRUCTW insert{};
    const auto parent = byKey.find(node.Parent);
    // Every parent precedes its children; a stray node goes to the top rather than nowhere.
    insert.hParent = node.Parent.empty() || parent == byKey.end() ? TVI_ROOT : parent->second;
    insert.hInsertAfter = TVI_LAST;
    insert.item.mask = TVIF_TEXT | TVIF_PARAM;
    insert.item.pszText = text.data();
    insert.item.lParam = static_cast<LPARAM>(i);
    byKey[node.Key] = reinterpret_cast<HTREEITEM>(
        SendMessageW(tree_, TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&insert)));
  }
}

LRESULT frmStatus::OnCustomDraw(NMTVCUSTOMDRAW& draw) {
  switch (draw.nmcd.dwDrawStage) {
    case CDDS_PREPAINT:
      return CDRF_NOTIFYITEMDRAW;
    case CDDS_ITEMPREPAINT: {
      const auto index = static_cast<std::size_t>(draw.nmcd.lItemlParam);
      if (index < nodes_.size()) {
        if (const std::optional<NodeRgb> rgb = ColorRgb(nodes_[index].Color)) {
          draw.clrText = RGB(rgb->Red, rgb->Green, rgb->Blue);
        }
      }
      return CDRF_DODEFAULT;
    }
    default:
      return CDRF_DODEFAULT;
  }
}

void frmStatus::OnExpanded(const NMTREEVIEWW& change) {
  const auto index = static_cast<std::size_t>(change.itemNew.lParam);
  if (index >= nodes_.size()) return;
  const std::string& key = nodes_[index].Key;
  const std::optional<std::string> text = (change.action & TVE_EXPAND) != 0
                                              ? app_.StatusNodeTextOnExpand(key)
                                              : app_.StatusNodeTextOnCollapse(key);
  if (!text) return;
  std::wstring wide = Widen(*text);
  TVITEMW item{};
  item.mask = TVIF_TEXT;
  item.hItem = change.itemNew.hItem;
  item.pszText = wide.data();
  SendMessageW(tree_, TVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&item));
}

LRESULT frmStatus::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NOTIFY) {
    auto* header = reinterpret_cast<NMHDR*>(lParam);
    if (header->hwndFrom == tree_) {
      if (header->code == NM_CUSTOMDRAW) {
        return OnCustomDraw(*reinterpret_cast<NMTVCUSTOMDRAW*>(lParam));
      }
      if (header->code == TVN_ITEMEXPANDEDW) {
        OnExpanded(*reinterpret_cast<NMTREEVIEWW*>(lParam));
        return 0;
      }
    }
  }
  return FormWindow::OnMessage(message, wParam, lParam);
}

}  // namespace postvane
