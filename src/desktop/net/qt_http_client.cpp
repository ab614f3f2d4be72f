// Token and discovery requests: verified TLS with the mail servers' authorities, no redirects,
// no proxies' caches, bounded in time and size.
#include "desktop/net/qt_http_client.h"

#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSslConfiguration>
#include <QTimer>
#include <QUrl>
#include <memory>
#include <utility>

#include "check/oauth_provider.h"
#include "desktop/net/trusted_authorities.h"

namespace postvane {

QtHttpClient::QtHttpClient(int timeoutMs) : timeoutMs_(timeoutMs) {
  // The answer is read from memory only: nothing of a token ever lands in a cache.
  manager_.setCache(nullptr);
}

void QtHttpClient::PostForm(const std::string& url, const std::string& body, Done done) {
  Send(url, &body, std::move(done));
}

void QtHttpClient::GetJson(const std::string& url, Done done) {
  Send(url, nullptr, std::move(done));
}

void QtHttpClient::Send(const std::string& url, const std::string* body, Done done) {
  // The same rule as the core's: HTTPS, or plain HTTP to this machine only. Answered later,
  // as every request is.
  if (!IsAllowedEndpoint(url)) {
    QTimer::singleShot(0, &manager_, [done = std::move(done)] { done({}); });
    return;
  }
  QNetworkRequest request(QUrl(QString::fromStdString(url), QUrl::StrictMode));
  request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                       QNetworkRequest::ManualRedirectPolicy);
  request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
  request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
  request.setTransferTimeout(timeoutMs_);
  request.setRawHeader("Accept", "application/json");
  QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
  tls.setProtocol(QSsl::TlsV1_2OrLater);
  tls.setPeerVerifyMode(QSslSocket::VerifyPeer);
  // Left unset, the TLS library looks the system's authorities up as it needs them.
  if (auto authorities = ProcessAuthorities().ForConnection()) tls.setCaCertificates(*authorities);
  request.setSslConfiguration(tls);

  QNetworkReply* reply = nullptr;
  if (body != nullptr) {
    request.setHeader(QNetworkRequest::ContentTypeHeader,
                      QStringLiteral("application/x-www-form-urlencoded"));
    reply = manager_.post(request, QByteArray::fromStdString(*body));
  } else {
    reply = manager_.get(request);
  }
  QObject::connect(reply, &QNetworkReply::downloadProgress, reply,
                   [reply](qint64 received, qint64) {
                     if (received > kReplyLimit) reply->abort();
                   });
  QObject::connect(reply, &QNetworkReply::finished, reply, [reply, done = std::move(done)] {
    reply->deleteLater();
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    // No HTTP status: the request never got an answer (refused, unreachable, certificate,
    // time-out, or cut off as too long).
    if (!status.isValid() || reply->error() == QNetworkReply::OperationCanceledError) {
      done({});
      return;
    }
    const QByteArray bytes = reply->readAll().left(kReplyLimit);
    done({true, status.toInt(), bytes.toStdString()});
  });
}

}  // namespace postvane
