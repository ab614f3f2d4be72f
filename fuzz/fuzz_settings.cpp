// Fuzz target: random settings files through load, save, save-UIDL and load again, on an
// in-memory file system. Whatever was loaded and whatever is saved must come back unchanged.
//
// Input:
//   0     mailbox to work on (modulo 10)        1  what to do (see Step)
//   then  the file (16-bit length, bytes)
//   then  fresh values for the second save: seven texts (byte length, bytes), RemotePort
//         (4 bytes), Enabled, LastMail, Interval, NotifyType, TrayType, DoubleClick,
//         MDaemonActivate, ReplaySound (2 bytes each), UIDL (byte length, bytes).
//
// What the file format cannot carry, and is therefore normalised before comparing: a value
// ends at its first NUL or line feed; texts are UTF-8 (other bytes are taken as Windows-1252);
// a text keeps at most 255 characters, the unique-id at most 255 bytes. Booleans come back
// as -1 or 0. Blanks at either end and enclosing quotes do come back: the writer quotes them.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>

#include "check/mailbox_table.h"
#include "fakes/fake_file_system.h"
#include "fuzz_input.h"
#include "settings/general_settings.h"
#include "settings/settings_store.h"
#include "text/text_encoding.h"
#include "ui/config_form.h"

namespace postvane::fuzz {
namespace {

constexpr char kFile[] = "pv/Postvane.ini";
constexpr char kDefaultSound[] = "pv/NewMail.wav";
constexpr std::size_t kValueLimit = 255;

enum Step : uint8_t {
  kSaveLoaded = 1,  // save what was loaded, load again: nothing may change
  kSaveFresh = 2,   // save new values, load again: they come back
  kFailWrites = 4,  // the second save fails: the file stays as it was
  kUidlOnly = 8,    // the second save writes only the UIDL
  kDialog = 16,     // the new values come through the configuration dialog's fields
};

struct Snapshot {
  MailboxRecord Box;
  MailboxRecord Other;
  GeneralSettings General;
};

bool SameBoolean(int16_t a, int16_t b) { return (a != 0) == (b != 0); }

void CheckSameMailbox(const MailboxRecord& a, const MailboxRecord& b) {
  POSTVANE_FUZZ_CHECK_EQ(a.Name, b.Name);
  POSTVANE_FUZZ_CHECK_EQ(a.User, b.User);
  POSTVANE_FUZZ_CHECK_EQ(a.Password, b.Password);
  POSTVANE_FUZZ_CHECK_EQ(a.RemoteHost, b.RemoteHost);
  POSTVANE_FUZZ_CHECK_EQ(a.RemotePort, b.RemotePort);
  POSTVANE_FUZZ_CHECK(SameBoolean(a.Enabled, b.Enabled));
  POSTVANE_FUZZ_CHECK(SameBoolean(a.LastMail, b.LastMail));
  POSTVANE_FUZZ_CHECK_EQ(a.UIDL, b.UIDL);
  // Stored like the password, whole.
  POSTVANE_FUZZ_CHECK_EQ(a.OAuthRefreshToken, b.OAuthRefreshToken);
}

void CheckSameGeneral(const GeneralSettings& a, const GeneralSettings& b) {
  POSTVANE_FUZZ_CHECK_EQ(a.Interval, b.Interval);
  POSTVANE_FUZZ_CHECK_EQ(a.NotifyType, b.NotifyType);
  POSTVANE_FUZZ_CHECK_EQ(a.TrayType, b.TrayType);
  POSTVANE_FUZZ_CHECK_EQ(a.DoubleClick, b.DoubleClick);
  POSTVANE_FUZZ_CHECK_EQ(a.MailProgram, b.MailProgram);
  POSTVANE_FUZZ_CHECK_EQ(a.SoundFile, b.SoundFile);
  POSTVANE_FUZZ_CHECK_EQ(a.MDaemonPath, b.MDaemonPath);
  POSTVANE_FUZZ_CHECK_EQ(a.MDaemonActivate, b.MDaemonActivate);
  POSTVANE_FUZZ_CHECK(SameBoolean(a.ReceiveLog, b.ReceiveLog));
  POSTVANE_FUZZ_CHECK(SameBoolean(a.ReplaySound, b.ReplaySound));
}

// Loaded texts are UTF-8 and within the value size.
void CheckLoadedText(const std::string& text) {
  POSTVANE_FUZZ_CHECK(IsValidUtf8(text));
  POSTVANE_FUZZ_CHECK(CutToCodePoints(text, kValueLimit) == text);
}

Snapshot Load(SettingsStore& store, int16_t index, int16_t other) {
  Snapshot loaded;
  store.LoadMailbox(loaded.Box, index);
  store.LoadMailbox(loaded.Other, other);
  store.LoadGeneral(loaded.General);
  for (const MailboxRecord* box : {&loaded.Box, &loaded.Other}) {
    for (const std::string* text : {&box->Name, &box->User, &box->Password, &box->RemoteHost}) {
      CheckLoadedText(*text);
    }
    // The unique-id keeps the server's bytes, whatever they are.
    POSTVANE_FUZZ_CHECK(box->UIDL.size() <= kValueLimit);
    POSTVANE_FUZZ_CHECK(box->Enabled == kTrue || box->Enabled == kFalse);
    POSTVANE_FUZZ_CHECK(box->LastMail == kTrue || box->LastMail == kFalse);
  }
  for (const std::string* text :
       {&loaded.General.MailProgram, &loaded.General.SoundFile, &loaded.General.MDaemonPath}) {
    CheckLoadedText(*text);
  }
  return loaded;
}

// Bytes as a value line carries them: up to a NUL or a line end (CR ends a line too).
std::string OneLine(std::string bytes) {
  const std::size_t end = bytes.find_first_of(std::string("\0\r\n", 3));
  if (end != std::string::npos) bytes.resize(end);
  return bytes;
}

// A text as the program holds it and the format carries it: UTF-8, 255 characters at most.
std::string Carried(std::string bytes) {
  return CutToCodePoints(DecodeUtf8OrWindows1252(OneLine(std::move(bytes))), kValueLimit);
}

int16_t Int16(FuzzInput& in) { return static_cast<int16_t>(in.Word()); }

void Fresh(FuzzInput& in, MailboxRecord& box, GeneralSettings& general) {
  box.Name = Carried(in.ShortText());
  box.User = Carried(in.ShortText());
  box.Password = Carried(in.ShortText());
  box.RemoteHost = Carried(in.ShortText());
  general.MailProgram = Carried(in.ShortText());
  general.SoundFile = Carried(in.ShortText());
  general.MDaemonPath = Carried(in.ShortText());
  const uint32_t port = static_cast<uint32_t>(in.Word()) | (static_cast<uint32_t>(in.Word()) << 16);
  box.RemotePort = static_cast<int32_t>(port);
  box.Enabled = Int16(in);
  box.LastMail = Int16(in);
  general.Interval = Int16(in);
  general.NotifyType = Int16(in);
  general.TrayType = Int16(in);
  general.DoubleClick = Int16(in);
  general.MDaemonActivate = Int16(in);
  general.ReplaySound = Int16(in);
  // A unique-id comes from a server: any bytes, kept as they are (at most 255 here).
  box.UIDL = OneLine(in.ShortText());
}

// The port and interval as typed (the rest of the input after the fresh values), stored the
// way the dialog stores its fields.
void ThroughDialog(FuzzInput& in, MailboxRecord& box, GeneralSettings& general) {
  ConfigMailboxFields fields = ShowMailbox(box);
  fields.RemotePort = in.ShortText();
  const int32_t oldPort = box.RemotePort;
  StoreMailbox(fields, box);
  const std::optional<int32_t> port = ParsePort(fields.RemotePort);
  POSTVANE_FUZZ_CHECK_EQ(box.RemotePort, port ? *port : oldPort);
  if (port) {
    // Whatever was accepted is an integer the text spells, blanks and sign aside.
    POSTVANE_FUZZ_CHECK(
        fields.RemotePort.find(std::to_string(*port < 0 ? -static_cast<int64_t>(*port) : *port)) !=
            std::string::npos ||
        *port == 0);
  }
  ConfigMailboxFields shown = ShowMailbox(box);
  POSTVANE_FUZZ_CHECK_EQ(shown.Name, fields.Name);
  POSTVANE_FUZZ_CHECK_EQ(shown.Password, fields.Password);

  ConfigGeneralFields generalFields = ShowGeneral(general);
  generalFields.Interval = in.ShortText();
  StoreGeneral(generalFields, general);
  POSTVANE_FUZZ_CHECK(general.Interval >= 1 && general.Interval <= 999);
}

void SaveAll(SettingsStore& store, const Snapshot& values, int16_t index) {
  store.SaveMailbox(values.Box, index);
  store.SaveUidl(index, values.Box.UIDL);
  store.SaveGeneral(values.General);
}

}  // namespace
}  // namespace postvane::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  using namespace postvane;
  using namespace postvane::fuzz;
  FuzzInput in(data, size);
  const auto index = static_cast<int16_t>(in.Byte() % kUserMailboxes);
  const auto other = static_cast<int16_t>((index + 1 + in.Byte() % 9) % kUserMailboxes);
  const uint8_t steps = in.Byte();

  FakeFileSystem files;
  files.Files[kFile] = in.LongText();
  SettingsStore store(files, kFile, kDefaultSound);

  const Snapshot first = Load(store, index, other);

  if ((steps & kSaveLoaded) != 0) {
    SaveAll(store, first, index);
    POSTVANE_FUZZ_CHECK(store.LastWriteSucceeded());
    const Snapshot again = Load(store, index, other);
    CheckSameMailbox(again.Box, first.Box);
    CheckSameMailbox(again.Other, first.Other);
    CheckSameGeneral(again.General, first.General);
  }

  if ((steps & kSaveFresh) != 0) {
    Snapshot fresh = first;
    Fresh(in, fresh.Box, fresh.General);
    // The refresh token is stored as the password is, so any password is a token to try too.
    if (fresh.Box.PasswordInKeyring == kFalse) fresh.Box.OAuthRefreshToken = fresh.Box.Password;
    if ((steps & kDialog) != 0) ThroughDialog(in, fresh.Box, fresh.General);
    const std::string before = files.Files[kFile];
    files.FailWrites = (steps & kFailWrites) != 0;
    if ((steps & kUidlOnly) != 0) {
      store.SaveUidl(index, fresh.Box.UIDL);
    } else {
      SaveAll(store, fresh, index);
    }
    files.FailWrites = false;
    const Snapshot again = Load(store, index, other);
    if ((steps & kFailWrites) != 0) {
      // A failed write changes nothing on disk.
      POSTVANE_FUZZ_CHECK(!store.LastWriteSucceeded());
      POSTVANE_FUZZ_CHECK(files.Files[kFile] == before);
      CheckSameMailbox(again.Box, first.Box);
      CheckSameGeneral(again.General, first.General);
    } else if ((steps & kUidlOnly) != 0) {
      MailboxRecord expected = first.Box;
      expected.UIDL = fresh.Box.UIDL;
      CheckSameMailbox(again.Box, expected);
      CheckSameGeneral(again.General, first.General);
    } else {
      // ReceiveLog is never written: it keeps what the file said.
      fresh.General.ReceiveLog = first.General.ReceiveLog;
      CheckSameMailbox(again.Box, fresh.Box);
      CheckSameGeneral(again.General, fresh.General);
    }
    // Another mailbox is untouched by all of it.
    CheckSameMailbox(again.Other, first.Other);
  }
  return 0;
}
