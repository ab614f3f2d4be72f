// Stands in for the user's browser in the sign-in tests: fetches the provider's page and
// follows its redirect to the loopback, as a browser does after the user agreed.
#pragma once

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSslConfiguration>
#include <QUrl>
#include <functional>
#include <string>

#include "desktop/net/trusted_authorities.h"
#include "ports/web_browser.h"

namespace postvane::test {

class FetchingBrowser : public WebBrowser {
 public:
  bool OpenWebPage(const std::string& url) override {
    Opened = url;
    Fetch(QUrl(QString::fromStdString(url)));
    return true;
  }
  std::string Opened;
  std::string LoopbackPage;
  // Replaces what the provider's redirect says before it is followed.
  std::function<QUrl(QUrl)> Tamper = [](QUrl url) { return url; };

 private:
  void Fetch(const QUrl& url) {
    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::ManualRedirectPolicy);
    // A browser that trusts the tests' authority, as the user's trusts the real providers.
    QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
    if (auto authorities = ProcessAuthorities().ForConnection())
      tls.setCaCertificates(*authorities);
    request.setSslConfiguration(tls);
    QNetworkReply* reply = manager_.get(request);
    QObject::connect(reply, &QNetworkReply::finished, reply, [this, reply] {
      reply->deleteLater();
      const QUrl location = reply->header(QNetworkRequest::LocationHeader).toUrl();
      if (!location.isEmpty()) {
        Fetch(Tamper(location));
        return;
      }
      LoopbackPage = reply->readAll().toStdString();
    });
  }
  QNetworkAccessManager manager_;
};

// A browser that opens the page and never comes back: the user walked away.
class SilentBrowser : public WebBrowser {
 public:
  bool OpenWebPage(const std::string& url) override {
    Opened = url;
    return true;
  }
  std::string Opened;
};

}  // namespace postvane::test
