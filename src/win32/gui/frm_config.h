// The configuration dialog: three tabs of controls at fixed places; the rules are
// ConfigForm's, this only moves texts between the controls and the form.
#pragma once

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/program_state.h"
#include "ports/autostart.h"
#include "settings/settings_store.h"
#include "text/own_text.h"
#include "text/string_id.h"
#include "ui/config_form.h"
#include "win32/gui/form_window.h"

namespace postvane {

class frmConfig : public FormWindow {
 public:
  // `closed` runs once the dialog has saved its fields, so the program can react to new logins.
  // `autostart` is what "Start with Windows" switches; without one the box stays clear.
  frmConfig(ProgramState& state, SettingsStore& store,
            std::function<void(bool)> setMDaemonMenuVisible, std::function<void()> closed = {},
            Autostart* autostart = nullptr);

  // Which tab is showing, 0..2.
  int VisibleFrame() const { return visibleFrame_; }
  // Brings tab 0..2 to the front, as a click on it does.
  void ShowTab(int index) { TabStrip1_Click(index); }

  // Asks the user to trust a certificate, shown as plain text; true for yes. A message box
  // with "No" as its default unless a test puts its own answer here.
  std::function<bool(HWND owner, const std::wstring& title, const std::wstring& details)>
      ConfirmTrust;
  // Asks the user for a marker colour, starting at `initial`; nothing when cancelled. The
  // system's colour dialog unless a test puts its own answer here.
  std::function<std::optional<COLORREF>(HWND owner, COLORREF initial)> PickColor;
  // Asks the user for a file: `filter` is the type list as the system's file dialog takes
  // it (entries and patterns, each ended by a null). Nothing when cancelled.
  std::function<std::optional<std::wstring>(HWND owner, const std::wstring& filter,
                                            const std::wstring& initialDir)>
      PickFile;

  // The grey hint in the empty mail program box: the default mail client that runs while no
  // program is set.
  void ShowMailProgramHint(const std::string& name);

  // Control ids, for the dialog's messages and for tests that press its controls.
  enum Control : int {
    kOption1 = 100,  // .. 109
    kMailBoxName = 200,
    kUser,
    kPassword,
    kRemoteHost,
    kRemotePort,
    kEnabled,
    kLastMail,
    kInterval,
    kAdvancedTrayIcon,
    kDoubleClick,
    kPlaySound,
    kSoundFile,
    kPopUpWindow,
    kReplaySound,
    kBrowseSound,
    kRunMailReader,
    kMailProgram,
    kBrowseMailProgram,
    kMDaemonActivate,
    kMDaemonBrowse,
    kMDaemonPath,
    kOk,
    kTabStrip,
    kSecurity,
    kTrustCertificate,
    kDesktopNotification,
    kKeyring,
    kStartWithWindows,
    kWebMailUrl,
    kMarkerColor,
    kPickColor,
    kQuietFrom,
    kQuietTo,
    kPlainPassword,
    kProtocol,
    kFolder,
    kPush,
    kMarkReadOnAck,
  };

 private:
  void BuildMailboxesTab();
  void BuildGeneral1Tab();
  void BuildGeneral2Tab();
  // A control on one of the tabs, at the tab frame's coordinates.
  HWND Add(int page, const wchar_t* className, const std::wstring& caption, DWORD style, int x,
           int y, int width, int height, int id = 0);
  std::wstring Caption(StringId id) const;
  std::wstring Caption(OwnText id) const;

  void Form_Load();
  void Option1_Click(int index);
  void TabStrip1_Click(int index);
  void chkPlaySound_Click();
  void cmbSecurity_Click();
  void cmbProtocol_Click();
  // The IMAP controls take input only while the protocol list shows IMAP.
  void UpdateImapControls();
  void UpdateTrustButton();
  void UpdatePlainPasswordLine();
  void cmdPickColor_Click();
  void cmdTrustCertificate_Click();
  // A file picker listing the files of one kind ("Sounds") that match `pattern`.
  void BrowseFile(int target, const std::wstring& kind, const std::wstring& pattern);
  void cmdMDaemonBrowse_Click();
  void OnClose() override;
  LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

  std::string Text(int id) const;
  void SetText(int id, const std::string& text);
  bool Checked(int id) const;
  void SetChecked(int id, bool checked);
  ConfigMailboxFields ReadMailbox() const;
  void ShowMailboxFields(const ConfigMailboxFields& fields);
  ConfigGeneralFields ReadGeneral() const;
  void ShowGeneralFields(const ConfigGeneralFields& fields);

  ProgramState& state_;
  SettingsStore& store_;
  std::function<void(bool)> setMDaemonMenuVisible_;
  std::function<void()> closed_;
  Autostart* autostart_;
  std::unique_ptr<ConfigForm> form_;
  ConfigGeneralFields shownGeneral_;
  HWND tabs_ = nullptr;
  HWND mailboxPicture_ = nullptr;
  std::array<std::vector<HWND>, 3> pages_;
  int visibleFrame_ = 0;
  // The security entry the port text belongs to, so a change can move the usual port along.
  int shownSecurity_ = 0;
  // Likewise the protocol entry (-1: a stored code the list cannot show).
  int shownProtocol_ = 0;
  bool unloaded_ = false;
  // The colour dialog's own sixteen colours, kept while the dialog is open.
  std::array<COLORREF, 16> customColors_{};
};

}  // namespace postvane
