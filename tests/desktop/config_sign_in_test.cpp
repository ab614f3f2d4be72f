// The sign-in row of the configuration dialog against the tests' OAuth provider: "Sign in…"
// with the browser replaced by a fetcher, the token stored at once and kept by Ok, a cancel,
// giving up, a refused provider, OAuth refused over a plain connection, an unknown Auth kept.
#include <QComboBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QProgressDialog>
#include <QPushButton>
#include <QRadioButton>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QUrlQuery>
#include <functional>
#include <memory>

#include "check/auth_method.h"
#include "desktop/fetching_browser.h"
#include "desktop/gui/frm_config.h"
#include "desktop/gui_test_main.h"
#include "settings/ini_file.h"
#include "settings/std_file_system.h"
#include "support/oauth_provider_process.h"
#include "support/test_certificates.h"
#include "text/own_text.h"

namespace postvane::test {
namespace {

constexpr int16_t kEnglish = 900;

bool WaitFor(const std::function<bool()>& done, int ms = 20000) {
  QElapsedTimer clock;
  clock.start();
  while (!done() && clock.elapsed() < ms)
    QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
  return done();
}

QString Text(OwnText id) { return QString::fromStdString(OwnString(kEnglish, id)); }

class NoPickers : public Pickers {
 public:
  std::optional<QString> OpenFile(QWidget*, const FileFilter&, const QString&,
                                  const QString&) override {
    return std::nullopt;
  }
  QString BrowseForFolder(QWidget*, const QString&) override { return {}; }
};

class ConfigSignInTest : public testing::Test {
 protected:
  ConfigSignInTest()
      : ini_(dir_.filePath("Postvane.ini")),
        store_(files_, ini_.toStdString(), dir_.filePath("NewMail.wav").toStdString()) {
    state_.Paths = MakeProgramPaths(dir_.path().toStdString());
    state_.LanguageBase = kEnglish;
    for (int16_t i = 0; i < 2; ++i) {
      MailboxRecord& record = state_.Mailboxes[static_cast<std::size_t>(i)];
      record.Name = "Box " + std::to_string(i);
      record.User = "alice";
      record.Password = "pw" + std::to_string(i);
      record.RemoteHost = "127.0.0.1";
      // Mailbox 0 over TLS, mailbox 1 plain.
      record.Security = i == 0 ? 1 : 0;
      record.RemotePort = i == 0 ? 995 : 110;
      store_.SaveMailbox(record, i);
    }
  }

  void SetUp() override {
    ASSERT_TRUE(certificates_.Ready()) << certificates_.Failure();
    qputenv("SSL_CERT_FILE", QByteArray::fromStdString(certificates_.AuthorityFile()));
    provider_ = std::make_unique<OAuthProviderProcess>(POSTVANE_OAUTH_PROVIDER_SCRIPT,
                                                       certificates_.Good().Certificate,
                                                       certificates_.Good().Key, "alice");
    ASSERT_TRUE(provider_->Running()) << provider_->Errors();
  }
  void TearDown() override { qunsetenv("SSL_CERT_FILE"); }

  frmConfig* Open() {
    auto* form = new frmConfig(state_, store_, pickers_, [](bool) {});
    form->Form_Load();
    return form;
  }

  static void Close(frmConfig* form) {
    QPointer<frmConfig> guard(form);
    form->cmdOk->click();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(guard.isNull());
  }

  // Picks OAuth as a user does and fills in the provider.
  void ChooseOAuth(frmConfig* form, const std::string& issuer) {
    form->cmbAuth->setCurrentIndex(1);
    emit form->cmbAuth->activated(1);
    form->txtOAuthProvider->setText(QString::fromStdString(issuer));
    form->txtOAuthClientId->setText(QStringLiteral("postvane-test"));
  }

  std::string FileText() const {
    QFile file(ini_);
    if (!file.open(QIODevice::ReadOnly)) return {};
    return file.readAll().toStdString();
  }
  std::optional<std::string> Key(const char* key) const {
    return IniFile(FileText()).Read("MailBox0", key);
  }

  TestCertificates certificates_;
  std::unique_ptr<OAuthProviderProcess> provider_;
  QTemporaryDir dir_;
  QString ini_;
  StdFileSystem files_;
  SettingsStore store_;
  ProgramState state_;
  NoPickers pickers_;
};

TEST_F(ConfigSignInTest, SignInStoresTheTokenAtOnceAndOkKeepsItWithTheChoice) {
  frmConfig* form = Open();
  EXPECT_TRUE(form->Password->isEnabled());
  EXPECT_FALSE(form->txtOAuthProvider->isEnabled());
  EXPECT_FALSE(form->cmdSignIn->isEnabled());
  ChooseOAuth(form, provider_->Issuer());
  // The password is not needed, and its key is kept all the same.
  EXPECT_FALSE(form->Password->isEnabled());
  EXPECT_TRUE(form->cmdSignIn->isEnabled());

  FetchingBrowser browser;
  form->SignInBrowser = &browser;
  form->cmdSignIn->click();
  ASSERT_NE(form->SignInProgress(), nullptr);
  EXPECT_TRUE(form->SignInProgress()->isVisible());
  EXPECT_EQ(form->SignInProgress()->labelText(), Text(OwnText::SigningIn));
  ASSERT_TRUE(WaitFor([&] { return !form->lblSignInState->text().isEmpty(); }))
      << provider_->Errors();
  EXPECT_EQ(form->lblSignInState->text(), Text(OwnText::SignedIn));
  EXPECT_EQ(form->SignInProgress(), nullptr);
  EXPECT_NE(browser.Opened.find("login_hint=alice"), std::string::npos) << browser.Opened;

  // Stored before Ok, in the password's obfuscated form, never readable in the file.
  const std::string token = state_.Mailboxes[0].OAuthRefreshToken;
  ASSERT_FALSE(token.empty());
  EXPECT_TRUE(Key("OAuthRefreshToken").has_value());
  EXPECT_EQ(FileText().find(token), std::string::npos);

  Close(form);
  MailboxRecord reread;
  store_.LoadMailbox(reread, 0);
  EXPECT_EQ(reread.Auth, static_cast<int16_t>(AuthMethod::OAuth));
  EXPECT_EQ(reread.OAuthProvider, provider_->Issuer());
  EXPECT_EQ(reread.OAuthClientId, "postvane-test");
  EXPECT_EQ(reread.OAuthRefreshToken, token);
  EXPECT_EQ(reread.Password, "pw0");
}

TEST_F(ConfigSignInTest, CancelClosesTheLoopbackAndStoresNothing) {
  frmConfig* form = Open();
  ChooseOAuth(form, provider_->Issuer());
  SilentBrowser browser;
  form->SignInBrowser = &browser;
  form->cmdSignIn->click();
  ASSERT_TRUE(WaitFor([&] { return !browser.Opened.empty(); })) << provider_->Errors();
  const QUrl redirect(QUrlQuery(QUrl(QString::fromStdString(browser.Opened)))
                          .queryItemValue(QStringLiteral("redirect_uri"), QUrl::FullyDecoded));
  ASSERT_GT(redirect.port(), 0) << browser.Opened;
  ASSERT_NE(form->SignInProgress(), nullptr);
  // The user presses the window's Cancel button.
  const QList<QPushButton*> buttons = form->SignInProgress()->findChildren<QPushButton*>();
  ASSERT_EQ(buttons.size(), 1);
  EXPECT_EQ(buttons[0]->text(), Text(OwnText::CancelButton));
  buttons[0]->click();
  EXPECT_EQ(form->SignInProgress(), nullptr);
  EXPECT_TRUE(form->lblSignInState->text().isEmpty());
  // Nobody waits for the browser any more.
  QTcpSocket late;
  late.connectToHost(QHostAddress::LocalHost, static_cast<quint16>(redirect.port()));
  EXPECT_FALSE(late.waitForConnected(2000));
  // A second try starts afresh.
  form->cmdSignIn->click();
  EXPECT_NE(form->SignInProgress(), nullptr);
  Close(form);
  EXPECT_FALSE(Key("OAuthRefreshToken").has_value());
  EXPECT_TRUE(state_.Mailboxes[0].OAuthRefreshToken.empty());
}

TEST_F(ConfigSignInTest, BrowserNeverFinishingGivesUpWithItsReason) {
  frmConfig* form = Open();
  ChooseOAuth(form, provider_->Issuer());
  SilentBrowser browser;
  form->SignInBrowser = &browser;
  form->SignInGiveUpMs = 500;
  form->cmdSignIn->click();
  ASSERT_TRUE(WaitFor([&] { return !form->lblSignInState->text().isEmpty(); }));
  EXPECT_EQ(form->lblSignInState->text(), Text(OwnText::SignInNotFinished));
  EXPECT_EQ(form->SignInProgress(), nullptr);
  Close(form);
}

TEST_F(ConfigSignInTest, UnreachableProviderShowsWhyAsPlainText) {
  frmConfig* form = Open();
  ChooseOAuth(form, "https://127.0.0.1:1/<b>x</b>");
  SilentBrowser browser;
  form->SignInBrowser = &browser;
  form->cmdSignIn->click();
  ASSERT_TRUE(WaitFor([&] { return !form->lblSignInState->text().isEmpty(); }));
  EXPECT_EQ(form->lblSignInState->text(), Text(OwnText::SignInServiceUnreachable));
  EXPECT_EQ(form->lblSignInState->textFormat(), Qt::PlainText);
  EXPECT_TRUE(browser.Opened.empty());
  Close(form);
  EXPECT_FALSE(Key("OAuthRefreshToken").has_value());
}

TEST_F(ConfigSignInTest, OAuthIsRefusedOverAPlainConnection) {
  // Mailbox 1 is plain: choosing OAuth is turned back with the reason.
  frmConfig* form = Open();
  form->Option1[1]->setChecked(true);
  form->cmbAuth->setCurrentIndex(1);
  emit form->cmbAuth->activated(1);
  EXPECT_EQ(form->cmbAuth->currentIndex(), 0);
  EXPECT_EQ(form->lblSignInState->text(), Text(OwnText::OAuthNeedsSecureConnection));
  EXPECT_FALSE(form->cmdSignIn->isEnabled());

  // Mailbox 0 chose OAuth over TLS; switching Security to none disables the sign-in.
  form->Option1[0]->setChecked(true);
  EXPECT_TRUE(form->lblSignInState->text().isEmpty());
  ChooseOAuth(form, provider_->Issuer());
  form->cmbSecurity->setCurrentIndex(0);
  emit form->cmbSecurity->activated(0);
  EXPECT_FALSE(form->cmdSignIn->isEnabled());
  EXPECT_EQ(form->lblSignInState->text(), Text(OwnText::OAuthNeedsSecureConnection));
  Close(form);
  EXPECT_EQ(IniFile(FileText()).Read("MailBox1", "Auth"), std::nullopt);
}

TEST_F(ConfigSignInTest, UnknownAuthShowsNoChoiceAndIsKept) {
  state_.Mailboxes[0].Auth = kUnknownAuth;
  state_.Mailboxes[0].OAuthProvider = "google";
  frmConfig* form = Open();
  EXPECT_EQ(form->cmbAuth->currentIndex(), -1);
  EXPECT_TRUE(form->Password->isEnabled());
  EXPECT_FALSE(form->cmdSignIn->isEnabled());
  EXPECT_EQ(form->txtOAuthProvider->text(), "google");
  Close(form);
  EXPECT_EQ(state_.Mailboxes[0].Auth, kUnknownAuth);
  EXPECT_EQ(Key("OAuthProvider"), "google");
}

}  // namespace
}  // namespace postvane::test

int main(int argc, char** argv) { return postvane::RunGuiTests(argc, argv); }
