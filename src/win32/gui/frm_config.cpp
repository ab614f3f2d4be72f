// Positions in pixels at 96 dpi; every tab's controls lie over the tab strip, at the
// frame origin (14, 28), and are shown and hidden with their tab.
#include "win32/gui/frm_config.h"

#include <commctrl.h>
#include <commdlg.h>
#include <shlobj.h>

#include <cstdio>
#include <utility>

#include "check/mail_protocol.h"
#include "check/secure_failure_text.h"
#include "settings/marker_color.h"
#include "text/string_table.h"
#include "win32/wide_text.h"

namespace postvane {
namespace {

constexpr int kFrameX = 14;
constexpr int kFrameY = 28;
constexpr int kFirstMailboxIcon = 124;
// The security list's row, below the port, pushes what follows down.
constexpr int kExtraRow = 28;
// The IMAP rows at the foot of the mailboxes tab: the folder, push and marking read.
constexpr int kImapRows = 56;

constexpr DWORD kTextBox = WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL;
constexpr DWORD kCheckBox = WS_TABSTOP | BS_AUTOCHECKBOX;
constexpr DWORD kGroup = BS_GROUPBOX;

// "#rrggbb" and a COLORREF (0x00bbggrr) both ways; a text that is no colour starts the
// picker on black.
std::string ColorText(COLORREF color) {
  char text[8];
  std::snprintf(text, sizeof(text), "#%02x%02x%02x", GetRValue(color), GetGValue(color),
                GetBValue(color));
  return text;
}

COLORREF ColorOf(const std::string& text) {
  if (!ValidMarkerColor(text)) return RGB(0, 0, 0);
  const unsigned long value = std::stoul(text.substr(1), nullptr, 16);
  return RGB((value >> 16) & 0xff, (value >> 8) & 0xff, value & 0xff);
}

std::optional<std::wstring> SystemFileDialog(HWND owner, const std::wstring& filter,
                                             const std::wstring& initialDir) {
  std::wstring chosen(MAX_PATH, L'\0');
  OPENFILENAMEW open{};
  open.lStructSize = sizeof(open);
  open.hwndOwner = owner;
  open.lpstrFilter = filter.c_str();
  open.lpstrFile = chosen.data();
  open.nMaxFile = static_cast<DWORD>(chosen.size());
  open.lpstrInitialDir = initialDir.c_str();
  open.Flags = OFN_FILEMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
  if (!GetOpenFileNameW(&open)) return std::nullopt;
  chosen.resize(chosen.find(L'\0'));
  return chosen;
}

std::optional<COLORREF> SystemColorDialog(HWND owner, COLORREF initial,
                                          std::array<COLORREF, 16>& customColors) {
  CHOOSECOLORW choose{};
  choose.lStructSize = sizeof(choose);
  choose.hwndOwner = owner;
  choose.rgbResult = initial;
  choose.lpCustColors = customColors.data();
  choose.Flags = CC_RGBINIT | CC_FULLOPEN;
  if (!ChooseColorW(&choose)) return std::nullopt;
  return choose.rgbResult;
}

}  // namespace

frmConfig::frmConfig(ProgramState& state, SettingsStore& store,
                     std::function<void(bool)> setMDaemonMenuVisible, std::function<void()> closed,
                     Autostart* autostart)
    : state_(state),
      store_(store),
      setMDaemonMenuVisible_(std::move(setMDaemonMenuVisible)),
      closed_(std::move(closed)),
      autostart_(autostart) {
  ConfirmTrust = [](HWND owner, const std::wstring& title, const std::wstring& details) {
    // A message box shows its text as it is, never as markup; "No" is the default, as
    // trusting must be a deliberate choice.
    return MessageBoxW(owner, details.c_str(), title.c_str(),
                       MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2) == IDYES;
  };
  PickColor = [this](HWND owner, COLORREF initial) {
    return SystemColorDialog(owner, initial, customColors_);
  };
  PickFile = SystemFileDialog;
  Create(Caption(StringId::Configuration), 335, 320 + kExtraRow + kImapRows,
         WS_CAPTION | WS_SYSMENU);
  tabs_ = AddControl(WC_TABCONTROLW, L"", WS_CLIPSIBLINGS | WS_TABSTOP, 7, 7, 323,
                     281 + kExtraRow + kImapRows, kTabStrip);
  int tab = 0;
  for (StringId caption : {StringId::Mailboxes, StringId::General1, StringId::General2}) {
    std::wstring text = Caption(caption);
    TCITEMW item{};
    item.mask = TCIF_TEXT;
    item.pszText = text.data();
    SendMessageW(tabs_, TCM_INSERTITEMW, static_cast<WPARAM>(tab++),
                 reinterpret_cast<LPARAM>(&item));
  }
  BuildMailboxesTab();
  BuildGeneral1Tab();
  BuildGeneral2Tab();
  constexpr int kButtonRow = 294 + kExtraRow + kImapRows;
  AddControl(L"BUTTON", Caption(StringId::Ok), WS_TABSTOP | BS_DEFPUSHBUTTON, 259, kButtonRow, 71,
             22, kOk);
  AddControl(L"BUTTON", Caption(OwnText::TrustCertificate), WS_TABSTOP, 7, kButtonRow, 190, 22,
             kTrustCertificate);
  // In the trust button's place while the shown security sends the password readable.
  AddControl(L"STATIC", Caption(OwnText::PasswordSentUnencrypted), 0, 7, kButtonRow - 2, 245, 26,
             kPlainPassword);
  Form_Load();
  FitAllCaptions();
}

std::wstring frmConfig::Caption(StringId id) const {
  return Widen(LocalString(state_.LanguageBase, id));
}

std::wstring frmConfig::Caption(OwnText id) const {
  return Widen(OwnString(state_.LanguageBase, id));
}

HWND frmConfig::Add(int page, const wchar_t* className, const std::wstring& caption, DWORD style,
                    int x, int y, int width, int height, int id) {
  // Some labels overlap their boxes by a few pixels; clipping keeps the boxes whole.
  HWND control = AddControl(className, caption, style | WS_CLIPSIBLINGS, kFrameX + x, kFrameY + y,
                            width, height, id);
  // Over the tab strip, not inside it: it must be drawn above it.
  SetWindowPos(control, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  pages_[static_cast<std::size_t>(page)].push_back(control);
  return control;
}

void frmConfig::BuildMailboxesTab() {
  Add(0, L"BUTTON", Caption(StringId::Mailbox), kGroup, 7, 14, 85, 232);
  for (int i = 0; i < kUserMailboxes; ++i) {
    Add(0, L"BUTTON", std::to_wstring(i + 1),
        BS_AUTORADIOBUTTON | (i == 0 ? WS_GROUP | WS_TABSTOP : 0), 7 + 14, 14 + 21 + 21 * i, 64, 15,
        kOption1 + i);
  }
  mailboxPicture_ = Add(0, L"STATIC", L"", SS_ICON | SS_CENTERIMAGE, 182, 28, 36, 36);
  // Left of the mailbox's picture: the protocol decides what the other boxes mean.
  Add(0, L"STATIC", Caption(OwnText::Protocol), 0, 105, 28, 75, 15);
  HWND protocol = Add(0, WC_COMBOBOXW, L"", WS_TABSTOP | CBS_DROPDOWNLIST | WS_VSCROLL, 105, 45, 73,
                      100, kProtocol);
  for (OwnText entry : {OwnText::ProtocolPop3, OwnText::ProtocolImap}) {
    SendMessageW(protocol, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Caption(entry).c_str()));
  }
  // Right of it, the other free place on this tab.
  Add(0, L"STATIC", Caption(OwnText::WebMailAddress), 0, 224, 28, 75, 15);
  Add(0, L"EDIT", L"", kTextBox, 224, 45, 71, 19, kWebMailUrl);
  // Under the mailbox list: the marker colour, typed as "#rrggbb" or picked.
  Add(0, L"STATIC", Caption(OwnText::MarkerColor), 0, 7, 254, 33, 15);
  Add(0, L"EDIT", L"", kTextBox, 40, 252, 46, 19, kMarkerColor);
  Add(0, L"BUTTON", L"\u2026", WS_TABSTOP, 86, 252, 18, 19, kPickColor);
  Add(0, L"STATIC", Caption(StringId::MailboxName), 0, 105, 77, 85, 15);
  Add(0, L"EDIT", L"", kTextBox, 182, 77, 113, 19, kMailBoxName);
  Add(0, L"STATIC", Caption(StringId::UserName), 0, 105, 105, 85, 15);
  Add(0, L"EDIT", L"", kTextBox, 182, 105, 113, 19, kUser);
  Add(0, L"STATIC", Caption(StringId::Password), 0, 105, 133, 92, 15);
  Add(0, L"EDIT", L"", kTextBox | ES_PASSWORD, 182, 133, 113, 19, kPassword);
  Add(0, L"STATIC", Caption(StringId::MailServer), 0, 105, 161, 85, 15);
  Add(0, L"EDIT", L"", kTextBox, 182, 161, 113, 19, kRemoteHost);
  Add(0, L"STATIC", Caption(StringId::ServerPort), 0, 105, 189, 92, 15);
  Add(0, L"EDIT", L"", kTextBox, 182, 189, 36, 19, kRemotePort);
  Add(0, L"STATIC", Caption(StringId::Enabled), 0, 224, 192, 51, 15);
  Add(0, L"BUTTON", L"", kCheckBox, 280, 192, 15, 15, kEnabled);
  Add(0, L"STATIC", Caption(OwnText::Security) + L":", 0, 105, 220, 75, 15);
  HWND security = Add(0, WC_COMBOBOXW, L"", WS_TABSTOP | CBS_DROPDOWNLIST | WS_VSCROLL, 182, 217,
                      113, 100, kSecurity);
  for (OwnText entry : {OwnText::SecurityNone, OwnText::SecurityTls, OwnText::SecurityStartTls}) {
    SendMessageW(security, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Caption(entry).c_str()));
  }
  Add(0, L"STATIC", Caption(StringId::AdvancedFunctionSingleUser), 0, 104, 217 + kExtraRow, 167,
      29);
  Add(0, L"BUTTON", L"", kCheckBox, 280, 224 + kExtraRow, 15, 15, kLastMail);
  // What only an IMAP mailbox has, below everything else.
  constexpr int kImapTop = 252 + kExtraRow;
  Add(0, L"STATIC", Caption(OwnText::Folder), 0, 105, kImapTop + 3, 75, 15);
  HWND folder = Add(0, L"EDIT", L"", kTextBox, 182, kImapTop, 113, 19, kFolder);
  // The folder an empty box watches.
  SendMessageW(folder, EM_SETCUEBANNER, FALSE, reinterpret_cast<LPARAM>(L"INBOX"));
  Add(0, L"BUTTON", Caption(OwnText::Push), kCheckBox, 7, kImapTop + 24, 288, 15, kPush);
  Add(0, L"BUTTON", Caption(OwnText::MarkReadOnAck), kCheckBox, 7, kImapTop + 41, 288, 15,
      kMarkReadOnAck);
}

void frmConfig::BuildGeneral1Tab() {
  Add(1, L"BUTTON", Caption(StringId::Interval), kGroup, 7, 14, 134, 36);
  Add(1, L"STATIC", Caption(StringId::IntervalLabel), 0, 7 + 7, 14 + 14, 43, 15);
  Add(1, L"EDIT", L"", kTextBox, 7 + 56, 14 + 14, 29, 16, kInterval);
  Add(1, L"STATIC", L"min.", 0, 7 + 91, 14 + 14, 36, 15);

  Add(1, L"BUTTON", Caption(StringId::TrayIcon), kGroup, 161, 14, 141, 36);
  Add(1, L"BUTTON", Caption(StringId::AdvancedFunction), kCheckBox, 161 + 7, 14 + 14, 113, 15,
      kAdvancedTrayIcon);

  Add(1, L"BUTTON", Caption(StringId::DoubleClickOptions), kGroup, 7, 56, 295, 50);
  HWND list = Add(1, WC_COMBOBOXW, L"", WS_TABSTOP | CBS_DROPDOWNLIST | WS_VSCROLL, 7 + 7, 56 + 21,
                  281, 100, kDoubleClick);
  for (StringId item :
       {StringId::RunMailReaderAction, StringId::ShowStatusAction, StringId::CheckMailAction}) {
    SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Caption(item).c_str()));
  }

  Add(1, L"BUTTON", Caption(StringId::NotifyOptions), kGroup, 8, 112, 295, 85);
  Add(1, L"BUTTON", Caption(StringId::PlaySound), kCheckBox, 8 + 14, 112 + 21, 99, 15, kPlaySound);
  Add(1, L"EDIT", L"", kTextBox, 8 + 133, 112 + 21, 155, 16, kSoundFile);
  Add(1, L"BUTTON", Caption(StringId::PopUpWindow), kCheckBox, 8 + 14, 112 + 42, 197, 15,
      kPopUpWindow);
  Add(1, L"BUTTON", Caption(StringId::ReplaySound), kCheckBox | BS_MULTILINE | BS_TOP, 8 + 133,
      112 + 42, 78, 36, kReplaySound);
  Add(1, L"BUTTON", Caption(StringId::BrowseMailProgram), WS_TABSTOP, 8 + 217, 112 + 42, 71, 22,
      kBrowseSound);
  Add(1, L"BUTTON", Caption(StringId::RunMailReader), kCheckBox, 8 + 14, 112 + 63, 120, 15,
      kRunMailReader);

  Add(1, L"BUTTON", Caption(StringId::MailProgram), kGroup, 7, 203, 295, 43);
  Add(1, L"EDIT", L"", kTextBox, 7 + 7, 203 + 21, 204, 16, kMailProgram);
  Add(1, L"BUTTON", Caption(StringId::BrowseSound), WS_TABSTOP, 7 + 217, 203 + 14, 71, 22,
      kBrowseMailProgram);
}

void frmConfig::BuildGeneral2Tab() {
  Add(2, L"BUTTON", Caption(StringId::OnlyForMDaemon), kGroup, 7, 14, 295, 99);
  Add(2, L"BUTTON", Caption(StringId::ActivateMDaemon), kCheckBox, 7 + 14, 14 + 21, 162, 22,
      kMDaemonActivate);
  Add(2, L"BUTTON", Caption(StringId::BrowseMDaemon), WS_TABSTOP, 7 + 196, 14 + 42, 85, 22,
      kMDaemonBrowse);
  Add(2, L"STATIC", Caption(StringId::MDaemonAppPath), 0, 7 + 14, 14 + 49, 134, 15);
  Add(2, L"EDIT", L"", kTextBox, 7 + 14, 14 + 70, 267, 18, kMDaemonPath);
  Add(2, L"BUTTON", Caption(OwnText::StartWithDesktop), kCheckBox, 14, 126, 281, 15,
      kStartWithWindows);
  Add(2, L"BUTTON", Caption(OwnText::DesktopNotification), kCheckBox, 14, 147, 281, 15,
      kDesktopNotification);
  Add(2, L"BUTTON", Caption(OwnText::KeepPasswordsInKeyring), kCheckBox, 14, 168, 281, 15,
      kKeyring);
  Add(2, L"STATIC", Caption(OwnText::QuietFrom), 0, 14, 194, 96, 15);
  Add(2, L"EDIT", L"", kTextBox, 112, 192, 44, 19, kQuietFrom);
  Add(2, L"STATIC", Caption(OwnText::QuietTo), 0, 162, 194, 40, 15);
  Add(2, L"EDIT", L"", kTextBox, 204, 192, 44, 19, kQuietTo);
}

void frmConfig::Form_Load() {
  form_ = std::make_unique<ConfigForm>(state_.Mailboxes, state_.General, store_, autostart_);
  // The socket speaks TLS through Schannel.
  form_->NewMailboxesStartSecure(true);
  SetChecked(kOption1, true);
  Option1_Click(0);
  TabStrip1_Click(0);
  shownGeneral_ = form_->LoadGeneral();
  ShowGeneralFields(shownGeneral_);
}

void frmConfig::Option1_Click(int index) {
  if (!form_) return;
  ShowMailboxFields(form_->SelectMailbox(static_cast<int16_t>(index), ReadMailbox()));
  HANDLE icon = LoadImageW(GetModuleHandleW(nullptr),
                           MAKEINTRESOURCEW(kFirstMailboxIcon + form_->ShownMailbox()), IMAGE_ICON,
                           Scale(32), Scale(32), LR_SHARED);
  SendMessageW(mailboxPicture_, STM_SETICON, reinterpret_cast<WPARAM>(icon), 0);
}

void frmConfig::TabStrip1_Click(int index) {
  visibleFrame_ = index;
  SendMessageW(tabs_, TCM_SETCURSEL, static_cast<WPARAM>(index), 0);
  for (std::size_t page = 0; page < pages_.size(); ++page) {
    for (HWND control : pages_[page]) {
      ShowWindow(control, static_cast<int>(page) == index ? SW_SHOW : SW_HIDE);
    }
  }
  UpdateTrustButton();
}

void frmConfig::cmbSecurity_Click() {
  const int chosen =
      static_cast<int>(SendMessageW(GetDlgItem(window_, kSecurity), CB_GETCURSEL, 0, 0));
  SetText(kRemotePort,
          PortForChoice(shownProtocol_, shownSecurity_, shownProtocol_, chosen, Text(kRemotePort)));
  shownSecurity_ = chosen;
  UpdatePlainPasswordLine();
}

void frmConfig::cmbProtocol_Click() {
  const int chosen =
      static_cast<int>(SendMessageW(GetDlgItem(window_, kProtocol), CB_GETCURSEL, 0, 0));
  SetText(kRemotePort,
          PortForChoice(shownProtocol_, shownSecurity_, chosen, shownSecurity_, Text(kRemotePort)));
  shownProtocol_ = chosen;
  UpdateImapControls();
}

void frmConfig::UpdateImapControls() {
  const bool imap = shownProtocol_ == static_cast<int>(MailProtocol::Imap);
  for (int id : {kFolder, kPush, kMarkReadOnAck}) EnableWindow(GetDlgItem(window_, id), imap);
}

void frmConfig::UpdatePlainPasswordLine() {
  const int security =
      static_cast<int>(SendMessageW(GetDlgItem(window_, kSecurity), CB_GETCURSEL, 0, 0));
  const bool trustShown =
      (GetWindowLongW(GetDlgItem(window_, kTrustCertificate), GWL_STYLE) & WS_VISIBLE) != 0;
  ShowWindow(
      GetDlgItem(window_, kPlainPassword),
      visibleFrame_ == 0 && PasswordSentInClear(security) && !trustShown ? SW_SHOW : SW_HIDE);
}

void frmConfig::cmdPickColor_Click() {
  if (!PickColor) return;
  if (const std::optional<COLORREF> chosen = PickColor(window_, ColorOf(Text(kMarkerColor)))) {
    SetText(kMarkerColor, ColorText(*chosen));
  }
}

void frmConfig::ShowMailProgramHint(const std::string& name) {
  // Grey text in the empty box, gone as soon as the user types.
  SendMessageW(GetDlgItem(window_, kMailProgram), EM_SETCUEBANNER, TRUE,
               reinterpret_cast<LPARAM>(Widen(name).c_str()));
}

void frmConfig::UpdateTrustButton() {
  const int16_t shown = form_ ? form_->ShownMailbox() : int16_t{-1};
  const bool possible = shown >= 0 && shown < kUserMailboxes && visibleFrame_ == 0 &&
                        CanTrustCertificate(state_.Mailboxes[static_cast<std::size_t>(shown)]);
  ShowWindow(GetDlgItem(window_, kTrustCertificate), possible ? SW_SHOW : SW_HIDE);
  UpdatePlainPasswordLine();
}

void frmConfig::cmdTrustCertificate_Click() {
  const int16_t shown = form_ ? form_->ShownMailbox() : int16_t{-1};
  if (shown < 0 || shown >= kUserMailboxes) return;
  const MailboxRecord& record = state_.Mailboxes[static_cast<std::size_t>(shown)];
  if (!CanTrustCertificate(record)) return;
  const int16_t language = state_.LanguageBase;
  std::wstring details;
  for (const std::string& line : CertificateDetails(language, record.RejectedCertificate)) {
    details += Widen(line) + L"\n";
  }
  details += L"\n" + Caption(OwnText::TrustCertificateQuestion);
  if (ConfirmTrust && ConfirmTrust(window_, Caption(OwnText::ServerCertificate), details)) {
    form_->TrustRejectedCertificate(ReadMailbox());
  }
  UpdateTrustButton();
}

void frmConfig::chkPlaySound_Click() {
  EnableWindow(GetDlgItem(window_, kReplaySound), ReplaySoundEnabled(Checked(kPlaySound)));
}

void frmConfig::BrowseFile(int target, const std::wstring& kind, const std::wstring& pattern) {
  // One entry of the type list: "Sounds (*.wav)", then the pattern, each ended by a null,
  // and one more null at the end.
  std::wstring filter = kind + L" (" + pattern + L")";
  filter += L'\0';
  filter += pattern;
  filter += L'\0';
  // Cancel leaves the box as it was: the file chosen before stays chosen.
  if (!PickFile) return;
  if (const std::optional<std::wstring> chosen =
          PickFile(window_, filter, Widen(state_.Paths.ProgramFolder))) {
    SetText(target, Narrow(*chosen));
  }
}

void frmConfig::cmdMDaemonBrowse_Click() {
  BROWSEINFOW browse{};
  browse.hwndOwner = window_;
  browse.lpszTitle = L"W\u00e4hlen Sie bitte, bitte einen Ordner:";
  browse.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
  PIDLIST_ABSOLUTE chosen = SHBrowseForFolderW(&browse);
  std::wstring path(MAX_PATH, L'\0');
  // Cancel empties the box: no folder was chosen.
  if (chosen == nullptr || !SHGetPathFromIDListW(chosen, path.data())) path.clear();
  if (chosen != nullptr) CoTaskMemFree(chosen);
  path.resize(path.find(L'\0') == std::wstring::npos ? path.size() : path.find(L'\0'));
  SetText(kMDaemonPath, Narrow(path));
}

void frmConfig::OnClose() {
  if (unloaded_ || !form_) return;
  unloaded_ = true;
  const bool mdaemonEntry = form_->SaveOnClose(ReadMailbox(), ReadGeneral());
  if (setMDaemonMenuVisible_) setMDaemonMenuVisible_(mdaemonEntry);
  if (closed_) closed_();
}

LRESULT frmConfig::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_CTLCOLORSTATIC || message == WM_CTLCOLORBTN) {
    // Labels, boxes and frames take the tab page's colour, not the dialog's.
    HDC dc = reinterpret_cast<HDC>(wParam);
    SetBkMode(dc, TRANSPARENT);
    return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW));
  }
  if (message == WM_NOTIFY) {
    const auto* header = reinterpret_cast<const NMHDR*>(lParam);
    if (header->hwndFrom == tabs_ && header->code == TCN_SELCHANGE) {
      TabStrip1_Click(static_cast<int>(SendMessageW(tabs_, TCM_GETCURSEL, 0, 0)));
      return 0;
    }
  }
  if (message == WM_COMMAND && LOWORD(wParam) == kSecurity && HIWORD(wParam) == CBN_SELCHANGE) {
    cmbSecurity_Click();
    return 0;
  }
  if (message == WM_COMMAND && LOWORD(wParam) == kProtocol && HIWORD(wParam) == CBN_SELCHANGE) {
    cmbProtocol_Click();
    return 0;
  }
  if (message == WM_COMMAND && HIWORD(wParam) == BN_CLICKED) {
    const int id = LOWORD(wParam);
    if (id >= kOption1 && id < kOption1 + kUserMailboxes) {
      if (Checked(id)) Option1_Click(id - kOption1);
    } else if (id == kPickColor) {
      cmdPickColor_Click();
    } else if (id == kTrustCertificate) {
      cmdTrustCertificate_Click();
    } else if (id == kPlaySound) {
      chkPlaySound_Click();
    } else if (id == kBrowseSound) {
      BrowseFile(kSoundFile, Caption(OwnText::SoundFiles), L"*.wav");
    } else if (id == kBrowseMailProgram) {
      BrowseFile(kMailProgram, Caption(OwnText::ProgramFiles), L"*.exe");
    } else if (id == kMDaemonBrowse) {
      cmdMDaemonBrowse_Click();
    } else if (id == kOk || id == IDOK) {
      PostMessageW(window_, WM_CLOSE, 0, 0);
    }
    return 0;
  }
  return FormWindow::OnMessage(message, wParam, lParam);
}

std::string frmConfig::Text(int id) const {
  HWND control = GetDlgItem(window_, id);
  std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(control)) + 1, L'\0');
  GetWindowTextW(control, text.data(), static_cast<int>(text.size()));
  text.resize(text.size() - 1);
  return Narrow(text);
}

void frmConfig::SetText(int id, const std::string& text) {
  SetWindowTextW(GetDlgItem(window_, id), Widen(text).c_str());
}

bool frmConfig::Checked(int id) const {
  return SendMessageW(GetDlgItem(window_, id), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void frmConfig::SetChecked(int id, bool checked) {
  SendMessageW(GetDlgItem(window_, id), BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

ConfigMailboxFields frmConfig::ReadMailbox() const {
  ConfigMailboxFields fields;
  fields.Name = Text(kMailBoxName);
  fields.User = Text(kUser);
  fields.Password = Text(kPassword);
  fields.RemoteHost = Text(kRemoteHost);
  fields.RemotePort = Text(kRemotePort);
  fields.Enabled = Checked(kEnabled);
  fields.LastMail = Checked(kLastMail);
  // No entry selected (a stored code the list cannot show) keeps that code.
  fields.Security =
      static_cast<int>(SendMessageW(GetDlgItem(window_, kSecurity), CB_GETCURSEL, 0, 0));
  fields.WebMailUrl = Text(kWebMailUrl);
  fields.MarkerColor = Text(kMarkerColor);
  // No entry selected (a stored code the list cannot show) keeps that code.
  fields.Protocol =
      static_cast<int>(SendMessageW(GetDlgItem(window_, kProtocol), CB_GETCURSEL, 0, 0));
  fields.Folder = Text(kFolder);
  fields.Push = Checked(kPush);
  fields.MarkReadOnAck = Checked(kMarkReadOnAck);
  return fields;
}

void frmConfig::ShowMailboxFields(const ConfigMailboxFields& fields) {
  SetText(kMailBoxName, fields.Name);
  SetText(kUser, fields.User);
  SetText(kPassword, fields.Password);
  SetText(kRemoteHost, fields.RemoteHost);
  SetText(kRemotePort, fields.RemotePort);
  SetChecked(kEnabled, fields.Enabled);
  SetChecked(kLastMail, fields.LastMail);
  SendMessageW(GetDlgItem(window_, kSecurity), CB_SETCURSEL, static_cast<WPARAM>(fields.Security),
               0);
  shownSecurity_ = fields.Security;
  SetText(kWebMailUrl, fields.WebMailUrl.value_or(""));
  SetText(kMarkerColor, fields.MarkerColor.value_or(""));
  shownProtocol_ = fields.Protocol.value_or(0);
  SendMessageW(GetDlgItem(window_, kProtocol), CB_SETCURSEL, static_cast<WPARAM>(shownProtocol_),
               0);
  SetText(kFolder, fields.Folder.value_or(""));
  SetChecked(kPush, fields.Push.value_or(true));
  SetChecked(kMarkReadOnAck, fields.MarkReadOnAck.value_or(false));
  UpdateImapControls();
  UpdateTrustButton();
}

ConfigGeneralFields frmConfig::ReadGeneral() const {
  // What this dialog has no control for goes back as it was read.
  ConfigGeneralFields fields = shownGeneral_;
  fields.Interval = Text(kInterval);
  fields.DoubleClick =
      static_cast<int>(SendMessageW(GetDlgItem(window_, kDoubleClick), CB_GETCURSEL, 0, 0));
  fields.AdvancedTrayIcon = Checked(kAdvancedTrayIcon);
  fields.PlaySound = Checked(kPlaySound);
  fields.ReplaySound = Checked(kReplaySound);
  fields.PopUpWindow = Checked(kPopUpWindow);
  fields.RunMailReader = Checked(kRunMailReader);
  fields.DesktopNotification = Checked(kDesktopNotification);
  fields.Keyring = Checked(kKeyring);
  fields.StartWithDesktop = Checked(kStartWithWindows);
  fields.MailProgram = Text(kMailProgram);
  fields.SoundFile = Text(kSoundFile);
  fields.MDaemonPath = Text(kMDaemonPath);
  fields.MDaemonActivate = Checked(kMDaemonActivate);
  fields.QuietFrom = Text(kQuietFrom);
  fields.QuietTo = Text(kQuietTo);
  return fields;
}

void frmConfig::ShowGeneralFields(const ConfigGeneralFields& fields) {
  SetText(kInterval, fields.Interval);
  SendMessageW(GetDlgItem(window_, kDoubleClick), CB_SETCURSEL,
               static_cast<WPARAM>(fields.DoubleClick), 0);
  SetChecked(kAdvancedTrayIcon, fields.AdvancedTrayIcon);
  SetChecked(kPlaySound, fields.PlaySound);
  SetChecked(kReplaySound, fields.ReplaySound);
  chkPlaySound_Click();
  SetChecked(kPopUpWindow, fields.PopUpWindow);
  SetChecked(kRunMailReader, fields.RunMailReader);
  SetChecked(kDesktopNotification, fields.DesktopNotification);
  SetChecked(kKeyring, fields.Keyring);
  SetChecked(kStartWithWindows, fields.StartWithDesktop);
  SetText(kMailProgram, fields.MailProgram);
  SetText(kSoundFile, fields.SoundFile);
  SetText(kMDaemonPath, fields.MDaemonPath);
  SetChecked(kMDaemonActivate, fields.MDaemonActivate);
  SetText(kQuietFrom, fields.QuietFrom.value_or(""));
  SetText(kQuietTo, fields.QuietTo.value_or(""));
}

}  // namespace postvane
