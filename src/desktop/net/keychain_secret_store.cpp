// QtKeychain's jobs finish asynchronously; each call here waits for its job in a local event
// loop, so the callers stay as simple as a file read. A call made while another waits (a timer
// firing inside the loop) answers Unavailable rather than nesting further.
#include "desktop/net/keychain_secret_store.h"

#include <glib.h>
#include <qt6keychain/keychain.h>

#include <QEventLoop>
#include <QString>
#include <QTimer>

#include "desktop/net/qt_text.h"

namespace postvane {

namespace {

const QString kService = QStringLiteral("Postvane");

// How often GLib's main context is turned while a job waits.
constexpr int kGLibPumpMs = 5;

bool waiting = false;

SecretResult Outcome(const QKeychain::Job& job) {
  switch (job.error()) {
    case QKeychain::NoError:
      return SecretResult::Ok;
    case QKeychain::EntryNotFound:
      return SecretResult::NotFound;
    default:
      return SecretResult::Unavailable;
  }
}

// Runs the job to its end; false when another call is already waiting.
bool RunToEnd(QKeychain::Job& job) {
  if (waiting) return false;
  waiting = true;
  job.setAutoDelete(false);
  QEventLoop loop;
  QObject::connect(&job, &QKeychain::Job::finished, &loop, &QEventLoop::quit);
  // Both programs run Qt's own event loop, so nobody turns GLib's main context, and the keyring
  // library delivers its answers through it: it is turned here, only while a job waits.
  QTimer pump;
  QObject::connect(&pump, &QTimer::timeout, [] {
    while (g_main_context_iteration(nullptr, FALSE)) {
    }
  });
  pump.start(kGLibPumpMs);
  job.start();
  loop.exec(QEventLoop::ExcludeUserInputEvents);
  waiting = false;
  return true;
}

}  // namespace

SecretResult KeychainSecretStore::Read(const std::string& key, std::string& secret) {
  QKeychain::ReadPasswordJob job(kService);
  job.setInsecureFallback(false);
  job.setKey(ToQt(key));
  if (!RunToEnd(job)) return SecretResult::Unavailable;
  const SecretResult result = Outcome(job);
  if (result == SecretResult::Ok) secret = job.textData().toStdString();
  return result;
}

SecretResult KeychainSecretStore::Write(const std::string& key, const std::string& secret) {
  QKeychain::WritePasswordJob job(kService);
  job.setInsecureFallback(false);
  job.setKey(ToQt(key));
  job.setTextData(ToQt(secret));
  if (!RunToEnd(job)) return SecretResult::Unavailable;
  const SecretResult result = Outcome(job);
  return result == SecretResult::NotFound ? SecretResult::Unavailable : result;
}

SecretResult KeychainSecretStore::Remove(const std::string& key) {
  QKeychain::DeletePasswordJob job(kService);
  job.setInsecureFallback(false);
  job.setKey(ToQt(key));
  if (!RunToEnd(job)) return SecretResult::Unavailable;
  const SecretResult result = Outcome(job);
  return result == SecretResult::NotFound ? SecretResult::Ok : result;
}

}  // namespace postvane
