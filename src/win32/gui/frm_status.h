// The status window: the mailboxes and their new messages in a tree view, priorities in colour.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

#include "app/postvane_app.h"
#include "win32/gui/form_window.h"

namespace postvane {

class frmStatus : public FormWindow {
 public:
  explicit frmStatus(PostvaneApp& app);

 private:
  void Form_Load();
  LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
  LRESULT OnCustomDraw(NMTVCUSTOMDRAW& draw);
  void OnExpanded(const NMTREEVIEWW& change);

  PostvaneApp& app_;
  HWND tree_ = nullptr;
  // Node keys and colours by item parameter.
  std::vector<StatusNode> nodes_;
};

}  // namespace postvane
