// One IMAP session on its own, fed a server's replies as the commands go out: whole checks,
// the new-mail rule, the secure start, login choices and every way of failing.
#include "check/imap_session.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <optional>
#include <string>
#include <vector>

#include "check/imap_words.h"
#include "check/secure_failure_text.h"
#include "text/own_text.h"
#include "text/string_table.h"

namespace postvane {
namespace {

using Lines = std::vector<std::string>;

class RecordingOutput : public SessionOutput {
 public:
  Lines Commands;  // each line written, CR LF taken off
  Lines Logged;
  Lines Calls;
  std::optional<MailboxOutcome> Outcome;
  bool Encrypted = false;  // a handshake was asked for
  bool Write(std::string_view bytes) override {
    std::string line(bytes);
    EXPECT_TRUE(line.ends_with("\r\n")) << line;
    line.resize(line.size() - 2);
    Commands.push_back(line);
    return true;
  }
  bool StartTls(const TlsRequest&) override {
    Calls.emplace_back("tls");
    Encrypted = true;
    return true;
  }
  void Log(int16_t, std::string_view text) override { Logged.emplace_back(text); }
  void StopConnectTimeout() override { Calls.emplace_back("stop connect time-out"); }
  void StartQuitWait() override { Calls.emplace_back("start quit wait"); }
  void StopQuitWait() override { Calls.emplace_back("stop quit wait"); }
  void Finish(const MailboxOutcome& outcome) override {
    EXPECT_FALSE(Outcome.has_value()) << "finished twice";
    Outcome = outcome;
  }
};

// A server's answer to the command that starts with `command` (its tag left out). "$T" in the
// reply stands for that command's tag. A reply to no command (the greeting) has none.
struct Exchange {
  std::string command;
  std::string reply;
};

struct SessionRig {
  MailboxRecord Record;
  RecordingOutput Output;
  bool Unfinished = false;
  std::optional<ImapSession> Session;

  SessionRig() {
    Record.User = "alice";
    Record.Password = "s3cret!";
    Record.RemoteHost = "imap.test";
    Record.Protocol = 1;
    Record.Enabled = kTrue;
    Record.State = MailboxState::Connecting;
  }
  void Start() {
    Session.emplace(SessionSetup{.Record = Record,
                                 .Output = Output,
                                 .LanguageBase = 900,
                                 .Charsets = nullptr,
                                 .UidlLimit = 4096,
                                 .HeaderLimit = 1024,
                                 .HeaderFetchUnfinished = Unfinished});
    Session->OnConnected();
  }
  // Plays the exchanges in order; each command must be the one the session sent last.
  void Play(const std::vector<Exchange>& script) {
    for (const Exchange& step : script) {
      if (Output.Outcome) {
        ADD_FAILURE() << "finished before \"" << step.command << "\"";
        return;
      }
      std::string reply = step.reply;
      if (!step.command.empty()) {
        ASSERT_FALSE(Output.Commands.empty()) << "nothing sent before " << step.command;
        const std::string& last = Output.Commands.back();
        const std::size_t blank = last.find(' ');
        const std::string command = blank == std::string::npos ? last : last.substr(blank + 1);
        ASSERT_TRUE(step.command == "handshake" || command.starts_with(step.command) ||
                    last.starts_with(step.command))
            << "sent \"" << last << "\", expected \"" << step.command << "\"";
        for (std::size_t at = reply.find("$T"); at != std::string::npos; at = reply.find("$T")) {
          reply.replace(at, 2, LastTag());
        }
      }
      if (step.command == "handshake") {
        TlsHandshake ok;
        ok.Protocol = "TLSv1.3";
        Session->OnHandshake(ok);
      } else {
        Session->OnData(reply);
      }
    }
  }
  // The tag of the last command (a line answering a "+" has none).
  std::string LastTag() const {
    for (auto line = Output.Commands.rbegin(); line != Output.Commands.rend(); ++line) {
      if (line->size() > 1 && (*line)[0] == 'a' && std::isdigit((*line)[1])) {
        return line->substr(0, line->find(' '));
      }
    }
    return "";
  }
  // The commands without their tags.
  Lines Untagged() const {
    Lines lines;
    for (const std::string& line : Output.Commands) {
      const std::size_t blank = line.find(' ');
      lines.push_back(line[0] == 'a' && blank != std::string::npos ? line.substr(blank + 1) : line);
    }
    return lines;
  }
};

const std::string kGreeting = "* OK [CAPABILITY IMAP4rev1 AUTH=PLAIN IDLE] ready\r\n";
const std::string kExamined =
    "* 4 EXISTS\r\n* 0 RECENT\r\n* OK [UIDVALIDITY 77] ok\r\n* OK [UIDNEXT 9] ok\r\n"
    "$T OK [READ-ONLY] done\r\n";
const std::string kFetch =
    "UID FETCH 7:8 (UID BODY.PEEK[HEADER.FIELDS (FROM TO SUBJECT X-PRIORITY DATE)])";

std::string HeaderLiteral(int message, int uid, const std::string& header) {
  return "* " + std::to_string(message) + " FETCH (UID " + std::to_string(uid) +
         " BODY[HEADER.FIELDS (FROM TO SUBJECT X-PRIORITY DATE)] {" +
         std::to_string(header.size()) + "}\r\n" + header + ")\r\n";
}

TEST(ImapSessionTest, WholeCheckCountsUnseenAboveThePointAndFetchesTheirHeaders) {
  SessionRig rig;
  rig.Record.ImapUidValidity = 77;
  rig.Record.ImapLastUid = 6;
  rig.Record.Folder = "Eing\xC3\xA4nge";
  rig.Start();
  rig.Play({{"", kGreeting},
            {"LOGIN", "$T OK [CAPABILITY IMAP4rev1 IDLE] in\r\n"},
            {"EXAMINE", kExamined},
            // "7:*" holds 7 and 8; a message read elsewhere (5) is not asked for at all.
            {"UID SEARCH", "* SEARCH 8 7\r\n$T OK done\r\n"},
            {"UID FETCH",
             HeaderLiteral(
                 3, 7, "From: Anna <a@x.test>\r\nSubject: =?utf-8?q?Gr=C3=BC=C3=9Fe?=\r\n\r\n") +
                 "* 4 FETCH (FLAGS (\\Recent) UID 8 BODY[HEADER.FIELDS (FROM TO SUBJECT X-PRIORITY "
                 "DATE)] \"Subject: quoted\\\\\\\"\r\n\r\n\")\r\n$T OK done\r\n"},
            {"LOGOUT", "* BYE bye\r\n$T OK out\r\n"}});
  ASSERT_TRUE(rig.Output.Outcome);
  EXPECT_EQ(rig.Output.Outcome->Result, MailboxResult::NewMail);
  EXPECT_EQ(rig.Untagged(), (Lines{"LOGIN \"alice\" \"s3cret!\"", "EXAMINE \"Eing&AOQ-nge\"",
                                   "UID SEARCH UNSEEN UID 7:*", kFetch, "LOGOUT"}));
  EXPECT_EQ(rig.Record.MessageCount, 4);
  EXPECT_EQ(rig.Record.NewCount, 2);
  EXPECT_EQ(rig.Record.NewestImapUidValidity, 77u);
  EXPECT_EQ(rig.Record.NewestImapUid, 8u);
  ASSERT_EQ(rig.Record.Headers.size(), 3u);
  EXPECT_EQ(rig.Record.Headers[1].Subject, "quoted\\\"");  // the newest first
  EXPECT_EQ(rig.Record.Headers[2].From, "Anna <a@x.test>");
  EXPECT_EQ(rig.Record.Headers[2].Subject,
            "Gr\xC3\xBC\xC3\x9F"
            "e");
  EXPECT_FALSE(rig.Unfinished);
  for (const std::string& line : rig.Output.Logged) {
    EXPECT_EQ(line.find("s3cret"), std::string::npos) << "password in the log: " << line;
  }
}

struct PointCase {
  const char* name;
  uint32_t savedValidity, savedUid;
  std::string search;  // the search sent; empty: none
  std::string found;   // the server's SEARCH line
  int16_t newCount;
  uint32_t newestUid;
};

class ImapPointTest : public testing::TestWithParam<PointCase> {};

TEST_P(ImapPointTest, NewMeansUnseenAboveTheAcknowledgedUidInTheSameValidity) {
  const PointCase& c = GetParam();
  SessionRig rig;
  rig.Record.ImapUidValidity = c.savedValidity;
  rig.Record.ImapLastUid = c.savedUid;
  rig.Start();
  std::vector<Exchange> script{{"", kGreeting}, {"LOGIN", "$T OK in\r\n"}, {"EXAMINE", kExamined}};
  if (!c.search.empty()) script.push_back({c.search, c.found + "$T OK done\r\n"});
  rig.Play(script);
  if (c.newCount == 0) rig.Play({{"LOGOUT", "$T OK out\r\n"}});
  EXPECT_EQ(rig.Record.NewCount, c.newCount);
  EXPECT_EQ(rig.Record.NewestImapUid, c.newestUid);
  if (c.search.empty()) {
    EXPECT_EQ(rig.Untagged()[2], "LOGOUT");
  }
}

INSTANTIATE_TEST_SUITE_P(
    Points, ImapPointTest,
    testing::Values(
        PointCase{"NothingSaved", 0, 0, "UID SEARCH UNSEEN", "* SEARCH 2 3 5\r\n", 3, 5},
        PointCase{"SameValidity", 77, 3, "UID SEARCH UNSEEN UID 4:*", "* SEARCH 5\r\n", 1, 5},
        PointCase{"HighestUidBelowThePointIsNoNewMail", 77, 8, "UID SEARCH UNSEEN UID 9:*",
                  "* SEARCH 6\r\n", 0, 8},
        PointCase{"ValidityChangedAllUnseenAreNew", 76, 8, "UID SEARCH UNSEEN", "* SEARCH 1 2\r\n",
                  2, 2},
        PointCase{"NothingUnseen", 77, 3, "UID SEARCH UNSEEN UID 4:*", "* SEARCH\r\n", 0, 3},
        PointCase{"SeveralSearchLines", 0, 0, "UID SEARCH UNSEEN", "* SEARCH 1\r\n* SEARCH 4\r\n",
                  2, 4},
        PointCase{"HighestPossibleUidAcknowledged", 77, 4294967295u, "", "", 0, 4294967295u}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ImapSessionTest, SameNewMessagesKeepTheirHeaders) {
  SessionRig rig;
  rig.Record.ImapUidValidity = 77;
  rig.Record.ImapLastUid = 6;
  rig.Record.ImapHeaderUids = {8, 7};
  rig.Record.Headers.resize(3);
  rig.Record.NewCount = 2;
  rig.Start();
  rig.Play({{"", kGreeting},
            {"LOGIN", "$T OK in\r\n"},
            {"EXAMINE", kExamined},
            {"UID SEARCH", "* SEARCH 7 8\r\n$T OK done\r\n"},
            {"LOGOUT", "$T OK out\r\n"}});
  EXPECT_EQ(rig.Output.Outcome->Result, MailboxResult::NewMail);
}

// How a case ends: counted, or failed with one of the session's texts or a secure start's.
struct Ending {
  std::optional<OwnText> Own;
  std::optional<SecureFailure> Secure;
  std::optional<StringId> Local;
  std::string Text() const {
    if (Own) {
      const std::string text = OwnString(900, *Own);
      return text.substr(0, text.find('#'));
    }
    if (Secure) return SecureFailureText(900, *Secure, {});
    if (Local) return LocalString(900, *Local);
    return "";
  }
};
const Ending kCounted{};
Ending Own(OwnText id) { return {id, std::nullopt, std::nullopt}; }
Ending Secure(SecureFailure failure) { return {std::nullopt, failure, std::nullopt}; }

struct FailureCase {
  const char* name;
  int16_t security;
  std::vector<Exchange> script;
  Ending ending;
  Lines mustNotSend;  // commands that never go out
};

class ImapFailureTest : public testing::TestWithParam<FailureCase> {};

TEST_P(ImapFailureTest, EndsWithItsTextAndSendsNothingItMustNot) {
  const FailureCase& c = GetParam();
  SessionRig rig;
  rig.Record.Security = c.security;
  rig.Start();
  rig.Play(c.script);
  ASSERT_TRUE(rig.Output.Outcome) << "not finished";
  if (!c.ending.Text().empty()) {
    EXPECT_EQ(rig.Output.Outcome->Result, MailboxResult::Failed);
    EXPECT_TRUE(rig.Record.StatusText.starts_with(c.ending.Text())) << rig.Record.StatusText;
    EXPECT_EQ(rig.Record.State, MailboxState::Idle);
  } else {
    EXPECT_TRUE(rig.Output.Outcome->Counted());
  }
  for (const std::string& line : rig.Untagged()) {
    for (const std::string& never : c.mustNotSend) {
      EXPECT_FALSE(line.starts_with(never)) << line;
    }
  }
}

const std::string kLoggedIn = "$T OK in\r\n";

INSTANTIATE_TEST_SUITE_P(
    Failures, ImapFailureTest,
    testing::Values(
        FailureCase{
            "ByeGreeting", 0, {{"", "* BYE busy\r\n"}}, Own(OwnText::ImapServerBye), {"LOGIN"}},
        FailureCase{"ByeAfterCapability",
                    0,
                    {{"", "* OK hi\r\n"}, {"CAPABILITY", "* BYE shutting down\r\n"}},
                    Own(OwnText::ImapServerBye),
                    {"LOGIN"}},
        FailureCase{"ByeAtLogin",
                    0,
                    {{"", kGreeting}, {"LOGIN", "* BYE no\r\n"}},
                    Own(OwnText::ImapServerBye),
                    {}},
        FailureCase{"ByeAtExamine",
                    0,
                    {{"", kGreeting}, {"LOGIN", kLoggedIn}, {"EXAMINE", "* BYE gone\r\n"}},
                    Own(OwnText::ImapServerBye),
                    {}},
        FailureCase{"ByeAtSearch",
                    0,
                    {{"", kGreeting},
                     {"LOGIN", kLoggedIn},
                     {"EXAMINE", kExamined},
                     {"UID SEARCH", "* BYE gone\r\n"}},
                    Own(OwnText::ImapServerBye),
                    {}},
        FailureCase{"ByeAtFetch",
                    0,
                    {{"", kGreeting},
                     {"LOGIN", kLoggedIn},
                     {"EXAMINE", kExamined},
                     {"UID SEARCH", "* SEARCH 7\r\n$T OK done\r\n"},
                     {"UID FETCH", "* BYE gone\r\n"}},
                    Own(OwnText::ImapServerBye),
                    {}},
        FailureCase{
            "LoginRefused",
            0,
            {{"", kGreeting}, {"LOGIN", "$T NO [AUTHENTICATIONFAILED] Authentication failed.\r\n"}},
            Own(OwnText::ImapLoginRefused),
            {"EXAMINE"}},
        FailureCase{"LoginBad",
                    0,
                    {{"", kGreeting}, {"LOGIN", "$T BAD what\r\n"}},
                    Own(OwnText::ImapLoginRefused),
                    {"EXAMINE"}},
        FailureCase{"LoginDisabledWithoutPlain",
                    0,
                    {{"", "* OK [CAPABILITY IMAP4rev1 LOGINDISABLED STARTTLS] hi\r\n"}},
                    Own(OwnText::ImapNoLoginAllowed),
                    {"LOGIN", "AUTHENTICATE"}},
        FailureCase{"FolderMissing",
                    0,
                    {{"", kGreeting},
                     {"LOGIN", kLoggedIn},
                     {"EXAMINE", "$T NO [NONEXISTENT] Mailbox doesn't exist: Nope\r\n"}},
                    Own(OwnText::ImapFolderMissing),
                    {"UID"}},
        FailureCase{"ExamineBad",
                    0,
                    {{"", kGreeting}, {"LOGIN", kLoggedIn}, {"EXAMINE", "$T BAD syntax\r\n"}},
                    Own(OwnText::ImapCommandRefused),
                    {"UID"}},
        FailureCase{"SearchRefused",
                    0,
                    {{"", kGreeting},
                     {"LOGIN", kLoggedIn},
                     {"EXAMINE", kExamined},
                     {"UID SEARCH", "$T NO cannot\r\n"}},
                    Own(OwnText::ImapCommandRefused),
                    {"UID FETCH"}},
        FailureCase{"HugeLineBeforeTheCounts",
                    0,
                    {{"", kGreeting}, {"LOGIN", "* OK " + std::string(5000, 'x') + "\r\n"}},
                    Own(OwnText::ImapReplyTooLong),
                    {"EXAMINE"}},
        FailureCase{"HugeLiteralInTheFetchKeepsTheCounts",
                    0,
                    {{"", kGreeting},
                     {"LOGIN", kLoggedIn},
                     {"EXAMINE", kExamined},
                     {"UID SEARCH", "* SEARCH 7\r\n$T OK done\r\n"},
                     {"UID FETCH", "* 3 FETCH (UID 7 BODY[HEADER.FIELDS (FROM)] {999999}\r\n"}},
                    kCounted,
                    {}},
        FailureCase{"FetchRefusedKeepsTheCounts",
                    0,
                    {{"", kGreeting},
                     {"LOGIN", kLoggedIn},
                     {"EXAMINE", kExamined},
                     {"UID SEARCH", "* SEARCH 7\r\n$T OK done\r\n"},
                     {"UID FETCH", "$T NO no\r\n"},
                     {"LOGOUT", "$T OK out\r\n"}},
                    kCounted,
                    {}},
        FailureCase{"NotAnImapServer",
                    0,
                    {{"", "+OK POP3 ready\r\n"}},
                    Ending{std::nullopt, std::nullopt, StringId::MailServerNotReady},
                    {"LOGIN"}},
        FailureCase{"StartTlsNotOffered",
                    2,
                    {{"", kGreeting}},
                    Secure(SecureFailure::StlsNotOffered),
                    {"LOGIN", "AUTHENTICATE", "STARTTLS"}},
        FailureCase{"StartTlsRefused",
                    2,
                    {{"", "* OK [CAPABILITY IMAP4rev1 STARTTLS] hi\r\n"},
                     {"STARTTLS", "$T NO not now\r\n"}},
                    Secure(SecureFailure::StlsRefused),
                    {"LOGIN", "AUTHENTICATE"}},
        FailureCase{"BytesAfterTheStartTlsReply",
                    2,
                    {{"", "* OK [CAPABILITY IMAP4rev1 STARTTLS] hi\r\n"},
                     {"STARTTLS", "$T OK go\r\n* OK [CAPABILITY IMAP4rev1 AUTH=PLAIN] forged\r\n"}},
                    Secure(SecureFailure::Injection),
                    {"LOGIN", "AUTHENTICATE"}},
        FailureCase{"PreauthCannotBeSecured",
                    2,
                    {{"", "* PREAUTH [CAPABILITY IMAP4rev1 STARTTLS] welcome\r\n"}},
                    Secure(SecureFailure::StlsNotOffered),
                    {"STARTTLS", "EXAMINE"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ImapSessionTest, StartTlsAsksForCapabilitiesAgainAndForgetsTheOldOnes) {
  SessionRig rig;
  rig.Record.Security = 2;
  rig.Start();
  rig.Play({{"", "* OK [CAPABILITY IMAP4rev1 STARTTLS LOGINDISABLED] hi\r\n"},
            {"STARTTLS", "$T OK begin\r\n"}});
  EXPECT_TRUE(rig.Session->Securing());
  ASSERT_TRUE(rig.Output.Encrypted);
  rig.Play({{"handshake", ""},
            {"CAPABILITY", "* CAPABILITY IMAP4rev1 AUTH=PLAIN\r\n$T OK done\r\n"},
            {"LOGIN", kLoggedIn}});
  EXPECT_FALSE(rig.Session->Securing());
  EXPECT_EQ(rig.Untagged(),
            (Lines{"STARTTLS", "CAPABILITY", "LOGIN \"alice\" \"s3cret!\"", "EXAMINE \"INBOX\""}));
  EXPECT_EQ(rig.Session->ServerCapabilities(), (Lines{"IMAP4REV1", "AUTH=PLAIN"}));
}

TEST(ImapSessionTest, LoginDisabledUsesAuthenticatePlainAndNeverLogsTheSecret) {
  for (const bool initialResponse : {false, true}) {
    SessionRig rig;
    rig.Start();
    const std::string caps = std::string("* OK [CAPABILITY IMAP4rev1 LOGINDISABLED AUTH=PLAIN") +
                             (initialResponse ? " SASL-IR" : "") + "] hi\r\n";
    const std::string answer = Base64(std::string("\0alice\0s3cret!", 14));
    if (initialResponse) {
      rig.Play({{"", caps}, {"AUTHENTICATE PLAIN " + answer, kLoggedIn}});
    } else {
      rig.Play({{"", caps}, {"AUTHENTICATE PLAIN", "+ \r\n"}, {answer, kLoggedIn}});
    }
    EXPECT_EQ(rig.Untagged().back(), "EXAMINE \"INBOX\"");
    for (const std::string& line : rig.Output.Logged) {
      EXPECT_EQ(line.find(answer), std::string::npos) << line;
    }
  }
}

TEST(ImapSessionTest, AnEightBitPasswordGoesByAuthenticatePlainWhenOffered) {
  SessionRig rig;
  rig.Record.Password = "p\xC3\xA4ss";
  rig.Start();
  rig.Play({{"", kGreeting}, {"AUTHENTICATE PLAIN", "+\r\n"}});
  EXPECT_EQ(rig.Output.Commands.back(), Base64(std::string("\0alice\0p\xC3\xA4ss", 12)));
}

TEST(ImapSessionTest, AlertsAreShownAfterACountAndAfterAFailure) {
  SessionRig counted;
  counted.Start();
  counted.Play({{"", kGreeting},
                {"LOGIN", "* OK [ALERT] Quota at 95%\r\n$T OK in\r\n"},
                {"EXAMINE", "* 0 EXISTS\r\n* OK [UIDVALIDITY 1] x\r\n$T OK done\r\n"},
                {"LOGOUT", "$T OK out\r\n"}});
  EXPECT_EQ(counted.Output.Outcome->Result, MailboxResult::NoNewMail);
  EXPECT_EQ(counted.Record.StatusText, "") << "an alert is no failure";
  EXPECT_EQ(counted.Record.ServerAlert, "Quota at 95%");

  SessionRig failed;
  failed.Start();
  failed.Play({{"", kGreeting}, {"LOGIN", "$T NO [ALERT] Account locked\x07\r\n"}});
  EXPECT_EQ(failed.Record.ServerAlert, "Account locked") << "control bytes go, the text stays";
  EXPECT_TRUE(failed.Record.StatusText.starts_with(OwnString(900, OwnText::ImapLoginRefused)));

  // The next check starts without the old alert.
  failed.Output.Outcome.reset();
  failed.Record.State = MailboxState::Connecting;
  failed.Start();
  EXPECT_EQ(failed.Record.ServerAlert, "");
}

TEST(ImapSessionTest, RepliesWithAnotherTagAndUntaggedOnesInBetweenChangeNothing) {
  SessionRig rig;
  rig.Start();
  rig.Play({{"", kGreeting},
            {"LOGIN", "* 1 EXPUNGE\r\nzz9 OK not yours\r\n+ stray\r\n* OK still\r\n$T OK in\r\n"}});
  EXPECT_EQ(rig.Untagged().back(), "EXAMINE \"INBOX\"");
  EXPECT_EQ(rig.Output.Commands.size(), 2u) << "a \"+\" to LOGIN gets no answer";
}

// An OAuth mailbox logs in with AUTHENTICATE and its access token, never with LOGIN: the token on
// the command line where SASL-IR is offered, after the "+" otherwise, and never in the log.
struct OAuthLoginCase {
  std::string capabilities;
  SaslMechanism mechanism;
  bool initialResponse;
};

class ImapOAuthLoginTest : public testing::TestWithParam<OAuthLoginCase> {};

TEST_P(ImapOAuthLoginTest, SendsTheTokenByTheMechanismTheServerOffers) {
  const OAuthLoginCase& c = GetParam();
  SessionRig rig;
  rig.Record.Auth = 1;
  rig.Record.OAuthAccessToken.Token = "ya29.access-token";
  rig.Start();
  const std::string response =
      InitialResponse(c.mechanism, "alice", "ya29.access-token", "imap.test", rig.Record.RemotePort);
  const std::string name(MechanismName(c.mechanism));
  const std::string greeting = "* OK [CAPABILITY " + c.capabilities + "] hi\r\n";
  if (c.initialResponse) {
    rig.Play({{"", greeting}, {"AUTHENTICATE " + name + " " + response, kLoggedIn}});
  } else {
    rig.Play({{"", greeting}, {"AUTHENTICATE " + name, "+ \r\n"}, {response, kLoggedIn}});
  }
  EXPECT_EQ(rig.Untagged().back(), "EXAMINE \"INBOX\"");
  for (const std::string& line : rig.Untagged()) EXPECT_FALSE(line.starts_with("LOGIN")) << line;
  for (const std::string& line : rig.Output.Logged) {
    EXPECT_EQ(line.find(response), std::string::npos) << line;
    EXPECT_EQ(line.find("ya29"), std::string::npos) << line;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Mechanisms, ImapOAuthLoginTest,
    testing::Values(OAuthLoginCase{"IMAP4rev1 AUTH=XOAUTH2 SASL-IR", SaslMechanism::XOAuth2, true},
                    OAuthLoginCase{"IMAP4rev1 AUTH=XOAUTH2", SaslMechanism::XOAuth2, false},
                    OAuthLoginCase{"IMAP4rev1 AUTH=PLAIN", SaslMechanism::XOAuth2, false},
                    OAuthLoginCase{"IMAP4rev1 AUTH=OAUTHBEARER AUTH=XOAUTH2 SASL-IR",
                                   SaslMechanism::OAuthBearer, true},
                    OAuthLoginCase{"IMAP4rev1 LOGINDISABLED AUTH=OAUTHBEARER",
                                   SaslMechanism::OAuthBearer, false}));

TEST(ImapSessionTest, AnOAuthErrorChallengeIsAnsweredOnceAndItsReasonShown) {
  for (const SaslMechanism mechanism : {SaslMechanism::XOAuth2, SaslMechanism::OAuthBearer}) {
    SessionRig rig;
    rig.Record.Auth = 1;
    rig.Record.OAuthAccessToken.Token = "ya29.stale";
    rig.Start();
    const std::string name(MechanismName(mechanism));
    const std::string challenge = Base64(R"({"status":"invalid_token","scope":"mail"})");
    rig.Play({{"", "* OK [CAPABILITY IMAP4rev1 SASL-IR AUTH=" + name + "] hi\r\n"},
              {"AUTHENTICATE " + name, "+ " + challenge + "\r\n"}});
    EXPECT_EQ(rig.Output.Commands.back(), std::string(ErrorChallengeAnswer(mechanism)));
    rig.Play({{"", "+ " + challenge + "\r\n"}});
    EXPECT_EQ(rig.Output.Commands.back(), "*") << "a second challenge is cancelled";
    rig.Play({{"", rig.LastTag() + " NO [AUTHENTICATIONFAILED] no\r\n"}});
    ASSERT_TRUE(rig.Output.Outcome.has_value());
    EXPECT_EQ(rig.Output.Outcome->Result, MailboxResult::Failed);
    EXPECT_NE(rig.Record.StatusText.find("invalid_token"), std::string::npos)
        << rig.Record.StatusText;
  }
}

// After the count, acknowledged mail waiting to be marked read gets \Seen over a SELECT; the
// check before it never changes a flag, and a failed marking leaves the count standing.
struct MarkReadCase {
  const char* name;
  int16_t markReadOnAck;
  uint32_t pendingValidity;
  std::vector<uint32_t> pending;
  bool markNew;                 // a check that acknowledges what it finds
  std::vector<Exchange> after;  // the script after the search
  Lines sentAfterSearch;        // the commands after the search, tags left out
  bool markFailed;              // the failure is in the log
};

class ImapMarkReadTest : public testing::TestWithParam<MarkReadCase> {};

const std::string kSelected =
    "* 4 EXISTS\r\n* OK [UIDVALIDITY 77] ok\r\n$T OK [READ-WRITE] selected\r\n";
const std::string kStore = "+FLAGS.SILENT (\\Seen)";

TEST_P(ImapMarkReadTest, StoresSeenOnTheAcknowledgedUidsAfterTheCount) {
  const MarkReadCase& c = GetParam();
  SessionRig rig;
  rig.Record.ImapUidValidity = 77;
  rig.Record.ImapLastUid = 6;
  rig.Record.ImapHeaderUids = {8, 7};  // headers kept: no fetch in between
  rig.Record.Headers.resize(3);
  rig.Record.NewCount = 2;
  rig.Record.MarkReadOnAck = c.markReadOnAck;
  rig.Record.ImapMarkReadUidValidity = c.pendingValidity;
  rig.Record.ImapMarkReadUids = c.pending;
  rig.Record.ImapMarkNewRead = c.markNew;
  rig.Start();
  rig.Play({{"", kGreeting},
            {"LOGIN", "$T OK in\r\n"},
            {"EXAMINE", kExamined},
            {"UID SEARCH", "* SEARCH 7 8\r\n$T OK done\r\n"}});
  rig.Play(c.after);
  ASSERT_TRUE(rig.Output.Outcome);
  EXPECT_EQ(rig.Output.Outcome->Result, MailboxResult::NewMail);
  EXPECT_EQ(rig.Record.NewCount, 2);
  const Lines sent = rig.Untagged();
  ASSERT_GE(sent.size(), 3u);
  EXPECT_EQ(Lines(sent.begin() + 3, sent.end()), c.sentAfterSearch);
  EXPECT_EQ(rig.Record.ImapNewUids, (std::vector<uint32_t>{8, 7}));
  // The list is used once, whatever came of it.
  EXPECT_TRUE(rig.Record.ImapMarkReadUids.empty());
  const std::string failed = OwnString(900, OwnText::MarkReadFailed);
  const bool logged =
      std::any_of(rig.Output.Logged.begin(), rig.Output.Logged.end(),
                  [&](const std::string& line) { return line.starts_with(failed); });
  EXPECT_EQ(logged, c.markFailed);
}

std::vector<uint32_t> OddUids(uint32_t count) {
  std::vector<uint32_t> uids;
  for (uint32_t i = 0; i < count; ++i) uids.push_back(2 * i + 1);
  return uids;
}

std::string OddList(uint32_t count) {
  std::string list;
  for (uint32_t uid : OddUids(count)) list += (list.empty() ? "" : ",") + std::to_string(uid);
  return list;
}

INSTANTIATE_TEST_SUITE_P(
    Marks, ImapMarkReadTest,
    testing::Values(
        MarkReadCase{"OffSendsNothing",
                     kFalse,
                     77,
                     {3, 4},
                     true,
                     {{"LOGOUT", "$T OK out\r\n"}},
                     {"LOGOUT"},
                     false},
        MarkReadCase{
            "AcknowledgedEarlier",
            kTrue,
            77,
            {3, 4, 5, 10},
            false,
            {{"SELECT", kSelected}, {"UID STORE", "$T OK stored\r\n"}, {"LOGOUT", "$T OK out\r\n"}},
            {"SELECT \"INBOX\"", "UID STORE 3:5,10 " + kStore, "LOGOUT"},
            false},
        MarkReadCase{
            "NewOnesOfAnAcknowledgingCheck",
            kTrue,
            0,
            {},
            true,
            {{"SELECT", kSelected}, {"UID STORE", "$T OK stored\r\n"}, {"LOGOUT", "$T OK out\r\n"}},
            {"SELECT \"INBOX\"", "UID STORE 7:8 " + kStore, "LOGOUT"},
            false},
        MarkReadCase{
            "BothTogether",
            kTrue,
            77,
            {2, 7},
            true,
            {{"SELECT", kSelected}, {"UID STORE", "$T OK stored\r\n"}, {"LOGOUT", "$T OK out\r\n"}},
            {"SELECT \"INBOX\"", "UID STORE 2,7:8 " + kStore, "LOGOUT"},
            false},
        MarkReadCase{"NothingWaiting",
                     kTrue,
                     0,
                     {},
                     false,
                     {{"LOGOUT", "$T OK out\r\n"}},
                     {"LOGOUT"},
                     false},
        MarkReadCase{"AcknowledgedInARecreatedFolder",
                     kTrue,
                     76,
                     {3},
                     false,
                     {{"LOGOUT", "$T OK out\r\n"}},
                     {"LOGOUT"},
                     false},
        MarkReadCase{"SelectFindsAnotherValidity",
                     kTrue,
                     77,
                     {3},
                     false,
                     {{"SELECT", "* OK [UIDVALIDITY 78] ok\r\n$T OK selected\r\n"},
                      {"LOGOUT", "$T OK out\r\n"}},
                     {"SELECT \"INBOX\"", "LOGOUT"},
                     true},
        MarkReadCase{"SelectRefused",
                     kTrue,
                     77,
                     {3},
                     false,
                     {{"SELECT", "$T NO no\r\n"}, {"LOGOUT", "$T OK out\r\n"}},
                     {"SELECT \"INBOX\"", "LOGOUT"},
                     true},
        MarkReadCase{"StoreRefused",
                     kTrue,
                     77,
                     {3},
                     false,
                     {{"SELECT", kSelected},
                      {"UID STORE", "$T NO [CANNOT] read-only\r\n"},
                      {"LOGOUT", "$T OK out\r\n"}},
                     {"SELECT \"INBOX\"", "UID STORE 3 " + kStore, "LOGOUT"},
                     true},
        MarkReadCase{"ByeDuringStore",
                     kTrue,
                     77,
                     {3},
                     false,
                     {{"SELECT", kSelected}, {"UID STORE", "* BYE going\r\n"}},
                     {"SELECT \"INBOX\"", "UID STORE 3 " + kStore},
                     true},
        // Each command line stays short: 501 scattered UIDs go in two commands.
        MarkReadCase{"ManyUidsInSlices",
                     kTrue,
                     77,
                     OddUids(501),
                     false,
                     {{"SELECT", kSelected},
                      {"UID STORE", "$T OK stored\r\n"},
                      {"UID STORE 1001 ", "$T OK stored\r\n"},
                      {"LOGOUT", "$T OK out\r\n"}},
                     {"SELECT \"INBOX\"", "UID STORE " + OddList(500) + " " + kStore,
                      "UID STORE 1001 " + kStore, "LOGOUT"},
                     false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ImapSessionTest, AConnectionClosedDuringTheMarkingKeepsTheCount) {
  SessionRig rig;
  rig.Record.MarkReadOnAck = kTrue;
  rig.Record.ImapMarkNewRead = true;
  rig.Start();
  rig.Play({{"", kGreeting},
            {"LOGIN", "$T OK in\r\n"},
            {"EXAMINE", kExamined},
            {"UID SEARCH", "* SEARCH 3\r\n$T OK done\r\n"},
            {"UID FETCH", "$T OK done\r\n"},
            {"SELECT", kSelected}});
  ASSERT_EQ(rig.Untagged().back(), "UID STORE 3 " + kStore);
  EXPECT_EQ(rig.Record.State, MailboxState::QuitSent);
  rig.Session->OnQuitWaitOver();  // what the engine does when the server closes now
  ASSERT_TRUE(rig.Output.Outcome);
  EXPECT_EQ(rig.Output.Outcome->Result, MailboxResult::NewMail);
  EXPECT_EQ(rig.Record.NewCount, 1);
  EXPECT_TRUE(rig.Output.Logged.back().starts_with(OwnString(900, OwnText::MarkReadFailed)));
}

}  // namespace
}  // namespace postvane
