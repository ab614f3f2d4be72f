// Every key the programs write into the settings file, by section, each with a value that
// differs from its default. Front ends that show only some of them keep the others as read,
// and the round-trip tests take the keys from here, so a key added to the store is added here.
#pragma once

#include <array>
#include <string_view>

namespace postvane {

struct SettingsKey {
  std::string_view Name;
  // A value as the store writes it (so that writing it back changes no byte), never the
  // default, and one that a dialog can show and read back.
  std::string_view Example;
};

inline constexpr std::string_view kGeneralSection = "General";

inline constexpr std::array<SettingsKey, 11> kGeneralKeys{{
    {"Interval", "7"},
    // Sound, status window and desktop notice, and a bit no front end knows yet.
    {"NotifyType", "27"},
    {"TrayType", "0"},
    {"DoubleClick", "2"},
    {"MailProgram", "C:\\Programme\\Post\\reader.exe"},
    {"SoundFile", "C:\\Kl\xC3\xA4nge\\chime.wav"},
    {"MDaemonPath", "C:\\MDaemon\\App"},
    {"MDaemonActivate", "1"},
    // Set by hand only; no dialog shows it.
    {"ReceiveLog", "1"},
    {"ReplaySound", "1"},
    {"Keyring", "1"},
}};

// In "MailBox0" to "MailBox9". With PasswordInKeyring=1 the Password line stays empty.
inline constexpr std::array<SettingsKey, 22> kMailboxKeys{{
    {"Name", "B\xC3\xBCro"},
    {"User", "alice"},
    {"Password", ""},
    {"PasswordInKeyring", "1"},
    {"RemoteHost", "pop.example.org"},
    {"RemotePort", "995"},
    {"Enabled", "1"},
    {"LastMail", "1"},
    {"Security", "1"},
    {"CertFingerprint",
     "3F:0A:6E:5B:21:9C:44:D8:7E:12:B0:A5:C3:9D:88:61:F4:27:0B:5E:AA:13:C6:79:E2:48:91:3D:6C:"
     "05:BF:72"},
    {"UIDL", "000000016b165c09"},
    {"Protocol", "1"},
    {"Folder", "Eing\xC3\xA4nge/Rechnungen"},
    {"ImapUidValidity", "1712345678"},
    {"ImapLastUid", "4711"},
    {"Push", "0"},
    {"MarkReadOnAck", "1"},
    {"Auth", "1"},
    {"OAuthProvider", "https://login.example.org/tenant-7"},
    {"OAuthClientId", "5c1f0e9a-postvane.apps.example.org"},
    {"OAuthClientSecret", "not-so-secret-7"},
    // Stored like the password; with PasswordInKeyring=1 the file has no such line.
    {"OAuthRefreshToken", ""},
}};

}  // namespace postvane
