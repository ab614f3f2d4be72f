// postvane-check against a real Dovecot POP3 server: new mail, acknowledgement, a wrong
// password in two languages, and JSON from raw header bytes.
#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>

#include "check/connection_security.h"
#include "desktop/cli_process.h"
#include "fakes/temp_folder.h"
#include "support/dovecot_fixture.h"
#include "support/pop3_raw_client.h"
#include "support/qt_test_main.h"
#include "support/test_certificates.h"

namespace postvane::test {
namespace {

std::string Message(const std::string& from, const std::string& subject, const std::string& date) {
  return "From: " + from + "\nTo: alice@example.org\nSubject: " + subject + "\nDate: " + date +
         "\nMessage-ID: <" + std::to_string(std::hash<std::string>{}(subject)) +
         "@example.org>\n\nBody text.\n";
}

int Lines(const std::string& text) {
  return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
}

class CliDovecot : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dovecot_.Running()) << dovecot_.Failure();
    ASSERT_FALSE(folder_.Path().empty());
  }

  std::string Settings() const { return folder_.File("Postvane.ini"); }
  QStringList Arguments(QStringList more = {}) const {
    return QStringList{"--settings", QString::fromStdString(Settings())} + more;
  }

  DovecotFixture dovecot_;
  TempFolder folder_;
};

// Each new message has its line, whatever the headers gave (see HeadersOfNewMessagesAreListed).
TEST_F(CliDovecot, NewMailThenAckThenNothingNewThenOneMore) {
  ASSERT_TRUE(dovecot_.Deliver(
      Message("Bob <bob@example.org>", "Budget", "Tue, 1 Oct 2024 09:00:00 +0200")));
  ASSERT_TRUE(dovecot_.Deliver(
      Message("Carol <carol@example.org>", "Lunch?", "Tue, 1 Oct 2024 11:30:00 +0200")));
  WriteBytes(Settings(), SettingsText({Mailbox(2, "Dovecot", dovecot_.Port())}));
  const std::string before = ReadBytes(Settings());

  const CheckResult first = RunCheck(Arguments({"--ack"}));
  ASSERT_TRUE(first.Finished);
  ASSERT_EQ(first.ExitCode, 0) << first.Err << dovecot_.ServerLog();
  EXPECT_EQ(first.Out.rfind("2 Dovecot: 2 new message(s), 2 message(s) in mailbox - no Error\n"
                            "    From: ",
                            0),
            0u)
      << first.Out;
  EXPECT_EQ(Lines(first.Out), 3);

  // Only the UIDL key came in: the file is the old one plus that line in the mailbox section.
  const std::string after = ReadBytes(Settings());
  const std::size_t uidlAt = after.find("UIDL=");
  ASSERT_NE(uidlAt, std::string::npos) << after;
  const std::size_t lineEnd = after.find("\r\n", uidlAt);
  ASSERT_NE(lineEnd, std::string::npos);
  const std::string uidlLine = after.substr(uidlAt, lineEnd + 2 - uidlAt);
  EXPECT_GT(uidlLine.size(), std::string("UIDL=\r\n").size());
  std::string withoutUidl = after;
  withoutUidl.erase(uidlAt, uidlLine.size());
  EXPECT_EQ(withoutUidl, before);

  const CheckResult second = RunCheck(Arguments({"--ack"}));
  ASSERT_TRUE(second.Finished);
  EXPECT_EQ(second.ExitCode, 1) << second.Err;
  EXPECT_EQ(second.Out, "2 Dovecot: 0 new message(s), 2 message(s) in mailbox - no Error\n");
  EXPECT_EQ(ReadBytes(Settings()), after);

  ASSERT_TRUE(dovecot_.Deliver(Message("Dan <dan@example.org>", "Third", "Wed, 2 Oct 2024")));
  const CheckResult third = RunCheck(Arguments({"--json"}));
  ASSERT_TRUE(third.Finished);
  EXPECT_EQ(third.ExitCode, 0) << third.Err;
  QJsonParseError error;
  const QJsonDocument document =
      QJsonDocument::fromJson(QByteArray::fromStdString(third.Out), &error);
  ASSERT_EQ(error.error, QJsonParseError::NoError) << third.Out;
  const QJsonObject mailbox = document.object()["mailboxes"].toArray()[0].toObject();
  EXPECT_EQ(mailbox["index"].toInt(-1), 2);
  EXPECT_EQ(mailbox["newCount"].toInt(), 1);
  EXPECT_EQ(mailbox["messageCount"].toInt(), 3);
  EXPECT_EQ(mailbox["headers"].toArray().size(), 1);
  EXPECT_NE(mailbox["newestUidl"].toString().toStdString() + "\r\n", uidlLine.substr(5));
  EXPECT_EQ(document.object()["newTotal"].toInt(), 1);
}

TEST_F(CliDovecot, WrongPasswordInEnglishAndGerman) {
  WriteBytes(Settings(),
             SettingsText({Mailbox(0, "Konto", dovecot_.Port(), "", "not-the-password")}));
  const CheckResult english = RunCheck(Arguments());
  ASSERT_TRUE(english.Finished);
  EXPECT_EQ(english.ExitCode, 2) << english.Err;
  EXPECT_EQ(english.Out,
            "0 Konto: 0 new message(s), 0 message(s) in mailbox - Password is wrong!\n");

  const CheckResult german = RunCheck(Arguments({"--json"}), GermanEnvironment());
  ASSERT_TRUE(german.Finished);
  EXPECT_EQ(german.ExitCode, 2) << german.Err;
  QJsonParseError error;
  const QJsonDocument document =
      QJsonDocument::fromJson(QByteArray::fromStdString(german.Out), &error);
  ASSERT_EQ(error.error, QJsonParseError::NoError) << german.Out;
  const QJsonObject mailbox = document.object()["mailboxes"].toArray()[0].toObject();
  EXPECT_EQ(mailbox["status"].toString().toStdString(), "Kennwort ist falsch!");
  EXPECT_TRUE(mailbox["error"].toBool());
  EXPECT_EQ(document.object()["newTotal"].toInt(-1), 0);
}

// Header values straight from a real server: quotes, control characters and Latin-1 bytes.
TEST_F(CliDovecot, HeadersOfNewMessagesAreListed) {
  ASSERT_TRUE(dovecot_.Deliver(
      Message("Bob <bob@example.org>", "Budget", "Tue, 1 Oct 2024 09:00:00 +0200")));
  ASSERT_TRUE(dovecot_.Deliver(
      Message("\"Quote, Q\" <q@example.org>", "say \"hi\" \\ \x01\x1b[7m caf\xE9 \xFF", "today")));
  WriteBytes(Settings(), SettingsText({Mailbox(0, "Raw", dovecot_.Port())}, true));

  const CheckResult plain = RunCheck(Arguments());
  ASSERT_TRUE(plain.Finished);
  EXPECT_EQ(plain.ExitCode, 0) << plain.Err;
  EXPECT_EQ(plain.Out,
            "0 Raw: 2 new message(s), 2 message(s) in mailbox - no Error\n"
            "    From: Quote, Q <q@example.org> | Subject: say \"hi\" \\ "
            "\xEF\xBF\xBD\xEF\xBF\xBD[7m caf\xC3\xA9 \xC3\xBF | Date: today\n"
            "    From: Bob <bob@example.org> | Subject: Budget | Date: Tue, 1 Oct 2024 09:00:00 "
            "+0200\n");

  const CheckResult result = RunCheck(Arguments({"--json"}));
  ASSERT_TRUE(result.Finished);
  EXPECT_EQ(result.ExitCode, 0) << result.Err;
  const CheckResult python = RunPython(
      "import json,sys\n"
      "d=json.load(sys.stdin)\n"
      "h=d['mailboxes'][0]['headers'][0]\n"
      "assert h['subject']=='say \"hi\" \\\\ \\x01\\x1b[7m caf\\u00e9 \\u00ff', "
      "ascii(h['subject'])\n"
      "assert h['from']=='\"Quote, Q\" <q@example.org>', ascii(h['from'])\n"
      "print(d['newTotal'])\n",
      result.Out);
  ASSERT_TRUE(python.Finished) << "python3 is needed";
  EXPECT_EQ(python.ExitCode, 0) << python.Err << "\n" << result.Out;
  EXPECT_EQ(python.Out, "2\n");
}

// Mail as providers send it today: signatures naming the headers above the real ones, names
// and subjects encoded in several charsets. What postvane-check shows is compared with what
// Python's email package reads from the same message.
TEST_F(CliDovecot, TodaysProviderMailShowsTheRealHeadersDecoded) {
  const std::string message =
      "ARC-Seal: i=1; a=rsa-sha256; t=1727795110; cv=none; d=mail.example.net; s=arc;\n"
      "\tb=c2lnbmF0dXJl\n"
      "ARC-Message-Signature: i=1; a=rsa-sha256; c=relaxed/relaxed; d=mail.example.net;\n"
      "\ts=arc; h=from:to:subject:date:message-id; bh=Ym9keQ==; b=c2ln\n"
      "DKIM-Signature: v=1; a=rsa-sha256; c=relaxed/relaxed; d=example.net; s=s1;\n"
      " h=from:to:subject:date:message-id:mime-version; bh=Ym9keQ==;\n"
      " b=c2lnbmF0dXJl\n"
      "Delivered-To: owner@example.org\n"
      "Delivery-Date: Wed, 2 Oct 2024 08:00:00 +0000\n"
      "Reply-To: list@example.net\n"
      "From: =?ISO-8859-2?Q?Ji=F8=ED_Nov=E1k?= <jiri@example.net>\n"
      "To: \"Ellen =?utf-8?Q?J=C3=B8rgensen?=\" <ellen@example.org>,\n"
      " bob@example.org\n"
      "Subject: =?KOI8-R?B?8NLJ18XUIMnaIO3P08vX2Q==?=\n"
      " =?UTF-8?Q?_=E2=80=93_?= =?Shift_JIS?B?ie+LY4LMjpGXvw==?=\n"
      "Date: Tue, 1 Oct 2024 17:05:10 +0200\n"
      "Message-ID: <modern-1@example.net>\n"
      "MIME-Version: 1.0\n"
      "\n"
      "Body.\n";
  ASSERT_TRUE(dovecot_.Deliver(message));
  WriteBytes(folder_.File("message.eml"), message);
  WriteBytes(Settings(), SettingsText({Mailbox(0, "Modern", dovecot_.Port())}));

  const CheckResult result = RunCheck(Arguments({"--json"}));
  ASSERT_TRUE(result.Finished);
  EXPECT_EQ(result.ExitCode, 0) << result.Err;
  const CheckResult python = RunPython(
      "import email, email.policy, email.utils, json, sys\n"
      "from email.headerregistry import HeaderRegistry\n"
      "ours = json.load(sys.stdin)['mailboxes'][0]['headers'][0]\n"
      "with open(" +
          std::string("'") + folder_.File("message.eml") +
          "', 'rb') as f:\n"
          "    m = email.message_from_bytes(f.read(), policy=email.policy.default)\n"
          "def addresses(h): return [(a.display_name, a.addr_spec) for a in h.addresses]\n"
          "for field in ('from', 'to'):\n"
          "    assert addresses(HeaderRegistry()(field, ours[field])) == addresses(m[field]), "
          "(ours[field], str(m[field]))\n"
          "assert ours['subject'] == str(m['subject']), (ours['subject'], str(m['subject']))\n"
          "assert email.utils.parsedate_to_datetime(ours['date']) == m['date'].datetime\n"
          "print(ours['subject'])\n",
      result.Out);
  ASSERT_TRUE(python.Finished) << "python3 is needed";
  EXPECT_EQ(python.ExitCode, 0) << python.Err << "\n" << result.Out;
}

// Over TLS and STARTTLS: trusted through SSL_CERT_FILE, refused without it.
TEST(CliDovecotSecure, TlsAndStartTlsTrustTheAuthorityTheEnvironmentNames) {
  const TestCertificates certificates;
  if (!certificates.Ready()) GTEST_SKIP() << certificates.Failure();
  DovecotOptions options;
  options.TlsCertificate = certificates.Good().Certificate;
  options.TlsKey = certificates.Good().Key;
  DovecotFixture dovecot(options);
  ASSERT_TRUE(dovecot.Running()) << dovecot.Failure();
  ASSERT_TRUE(dovecot.Deliver(
      Message("Bob <bob@example.org>", "Secure budget", "Tue, 1 Oct 2024 09:00:00 +0200")));
  TempFolder folder;
  const std::string settings = folder.File("Postvane.ini");
  MailboxSettings tls = Mailbox(0, "Tls", dovecot.TlsPort());
  tls.Extra = "Security=1\r\n";
  MailboxSettings startTls = Mailbox(1, "StartTls", dovecot.Port());
  startTls.Extra = "Security=2\r\n";
  WriteBytes(settings, SettingsText({tls, startTls}));
  const QStringList arguments{"--settings", QString::fromStdString(settings), "--json"};

  QProcessEnvironment trusting = EnglishEnvironment();
  trusting.insert("SSL_CERT_FILE", QString::fromStdString(certificates.AuthorityFile()));
  const CheckResult trusted = RunCheck(arguments, trusting);
  ASSERT_TRUE(trusted.Finished) << trusted.Err;
  EXPECT_EQ(trusted.ExitCode, 0) << trusted.Out << dovecot.ServerLog();
  const QJsonArray boxes = QJsonDocument::fromJson(QByteArray::fromStdString(trusted.Out))
                               .object()["mailboxes"]
                               .toArray();
  ASSERT_EQ(boxes.size(), 2);
  const char* names[] = {"tls", "starttls"};
  for (int i = 0; i < 2; ++i) {
    const QJsonObject box = boxes[i].toObject();
    EXPECT_EQ(box["security"].toString(), names[i]);
    EXPECT_FALSE(box["error"].toBool()) << trusted.Out;
    EXPECT_EQ(box["newCount"].toInt(), 1);
    EXPECT_EQ(box["headers"][0]["subject"].toString(), "Secure budget");
    EXPECT_FALSE(box.contains("certificate"));
  }

  QProcessEnvironment plain = EnglishEnvironment();
  plain.remove("SSL_CERT_FILE");
  const CheckResult refused = RunCheck(arguments, plain);
  ASSERT_TRUE(refused.Finished) << refused.Err;
  EXPECT_EQ(refused.ExitCode, 2) << refused.Out;
  const QJsonArray failed = QJsonDocument::fromJson(QByteArray::fromStdString(refused.Out))
                                .object()["mailboxes"]
                                .toArray();
  ASSERT_EQ(failed.size(), 2);
  for (const QJsonValue& value : failed) {
    const QJsonObject box = value.toObject();
    EXPECT_TRUE(box["error"].toBool());
    EXPECT_EQ(NormalizeFingerprint(box["certificate"]["sha256"].toString().toStdString()),
              NormalizeFingerprint(certificates.Good().Fingerprint));
  }
}

// A check without secure mailboxes never loads the TLS library (the dynamic linker names every
// library it loads when LD_DEBUG asks it to).
TEST_F(CliDovecot, PlainMailboxesLoadNoTlsLibrary) {
  ASSERT_TRUE(dovecot_.Deliver(
      Message("Bob <bob@example.org>", "Plain", "Tue, 1 Oct 2024 09:00:00 +0200")));
  WriteBytes(Settings(), SettingsText({Mailbox(0, "Plain", dovecot_.Port())}));
  QProcessEnvironment traced = EnglishEnvironment();
  traced.insert("LD_DEBUG", "files");
  const CheckResult result = RunCheck(Arguments(), traced);
  ASSERT_TRUE(result.Finished);
  EXPECT_EQ(result.ExitCode, 0) << result.Out;
  EXPECT_NE(result.Err.find("libQt6Network"), std::string::npos) << "LD_DEBUG gave no trace";
  EXPECT_EQ(result.Err.find("libssl"), std::string::npos);
  EXPECT_EQ(result.Err.find("opensslbackend"), std::string::npos);
}

// The authority comes through SSL_CERT_DIR as well, under another name in a folder of its
// own; pointing the variables at the system's store alone trusts it no more.
TEST(CliDovecotSecure, AuthoritiesThroughTheFolderVariableAndTheSystemStore) {
  const TestCertificates certificates;
  if (!certificates.Ready()) GTEST_SKIP() << certificates.Failure();
  DovecotOptions options;
  options.TlsCertificate = certificates.Good().Certificate;
  options.TlsKey = certificates.Good().Key;
  DovecotFixture dovecot(options);
  ASSERT_TRUE(dovecot.Running()) << dovecot.Failure();
  ASSERT_TRUE(dovecot.Deliver(
      Message("Bob <bob@example.org>", "Folder", "Tue, 1 Oct 2024 09:00:00 +0200")));
  TempFolder folder;
  const std::string settings = folder.File("Postvane.ini");
  MailboxSettings tls = Mailbox(0, "Tls", dovecot.TlsPort());
  tls.Extra = "Security=1\r\n";
  MailboxSettings startTls = Mailbox(1, "StartTls", dovecot.Port());
  startTls.Extra = "Security=2\r\n";
  WriteBytes(settings, SettingsText({tls, startTls}));
  const std::filesystem::path authorities = folder.Path() / "authorities";
  std::filesystem::create_directory(authorities);
  std::filesystem::create_symlink(certificates.AuthorityFile(), authorities / "site.pem");
  const QStringList arguments{"--settings", QString::fromStdString(settings)};

  struct Case {
    const char* file;
    QString folders;
    int exitCode;
  };
  const Case cases[] = {
      {"", QString::fromStdString(authorities.string()), 0},
      {"", "/nowhere:" + QString::fromStdString(authorities.string()) + ":/etc/ssl/certs", 0},
      {"/etc/ssl/certs/ca-certificates.crt", "/etc/ssl/certs", 2},
  };
  for (const Case& c : cases) {
    QProcessEnvironment environment = EnglishEnvironment();
    environment.remove("SSL_CERT_FILE");
    environment.remove("SSL_CERT_DIR");
    if (*c.file != '\0') environment.insert("SSL_CERT_FILE", c.file);
    environment.insert("SSL_CERT_DIR", c.folders);
    const CheckResult result = RunCheck(arguments, environment);
    ASSERT_TRUE(result.Finished) << result.Err;
    EXPECT_EQ(result.ExitCode, c.exitCode) << c.folders.toStdString() << "\n" << result.Out;
  }
}

// The server's own lock: a second session holds the mailbox while postvane-check runs.
TEST(CliDovecotLock, MailboxHeldByAnotherSessionIsNotChecked) {
  DovecotOptions options;
  options.LockSession = true;
  DovecotFixture dovecot(options);
  ASSERT_TRUE(dovecot.Running()) << dovecot.Failure();
  TempFolder folder;
  ASSERT_TRUE(dovecot.Deliver(Message("Bob <bob@example.org>", "Held", "Tue, 1 Oct 2024")));
  Pop3RawClient holder;
  ASSERT_TRUE(holder.Connect(dovecot.Port()));
  ASSERT_TRUE(holder.ReadLine().starts_with("+OK"));
  ASSERT_TRUE(holder.Command("USER alice").starts_with("+OK"));
  ASSERT_TRUE(holder.Command("PASS secret").starts_with("+OK"));
  const std::string settings = folder.File("Postvane.ini");
  WriteBytes(settings, SettingsText({Mailbox(0, "Dovecot", dovecot.Port())}));

  // Dovecot waits about ten seconds for the other session before it answers PASS.
  const CheckResult result = RunCheck({"--settings", QString::fromStdString(settings), "--json"},
                                      EnglishEnvironment(), 60000);
  ASSERT_TRUE(result.Finished) << result.Err;
  EXPECT_EQ(result.ExitCode, 2) << result.Out << dovecot.ServerLog();
  QJsonParseError error;
  const QJsonDocument document =
      QJsonDocument::fromJson(QByteArray::fromStdString(result.Out), &error);
  ASSERT_EQ(error.error, QJsonParseError::NoError) << result.Out;
  const QJsonObject box = document.object()["mailboxes"].toArray()[0].toObject();
  EXPECT_FALSE(box["checked"].toBool(true));
  EXPECT_TRUE(box["error"].toBool(false));
  EXPECT_EQ(box["status"].toString(), QStringLiteral("Mailbox in use by another program"));
  EXPECT_TRUE(holder.Command("QUIT").starts_with("+OK"));
}

}  // namespace
}  // namespace postvane::test

int main(int argc, char** argv) { return postvane::test::RunQtTests(argc, argv); }
