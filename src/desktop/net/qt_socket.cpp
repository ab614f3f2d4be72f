// QSslSocket behind the core's Socket interface.
#include "desktop/net/qt_socket.h"

#include <QHostAddress>
#include <QMetaObject>
#include <QNetworkProxy>
#include <QSslCertificate>
#include <QSslCipher>
#include <QSslConfiguration>
#include <QSslSocket>
#include <QTcpSocket>
#include <utility>

#ifndef Q_OS_WIN
#include <unistd.h>
#endif

#include "check/connection_security.h"
#include "desktop/net/qt_text.h"
#include "desktop/net/trusted_authorities.h"

namespace postvane {
namespace {

const char kInvalidStateText[] = "Invalid operation at current state";
const char kInvalidPortText[] = "The remote port is not a valid port number";
constexpr int kAddressNotAvailable = 10049;

// Without reuse, every connection we closed would hold its port for a minute (TIME_WAIT) and
// each check would start further up from 20000. Windows gets a plain bind, where address
// reuse would let a port be taken from under its owner.
#ifdef Q_OS_WIN
constexpr QAbstractSocket::BindMode kBindMode = QAbstractSocket::DefaultForPlatform;
#else
constexpr QAbstractSocket::BindMode kBindMode = QAbstractSocket::ReuseAddressHint;
#endif

const char kRemoteClosedText[] = "The remote host closed the connection";
const char kUnreadBeforeTlsText[] = "Data arrived before the secure connection began";

std::string ProtocolName(QSsl::SslProtocol protocol) {
  switch (protocol) {
    case QSsl::TlsV1_2:
      return "TLSv1.2";
    case QSsl::TlsV1_3:
      return "TLSv1.3";
    default:
      return "TLS";
  }
}

// "CN=..., O=..." in the order the certificate lists them.
std::string DistinguishedName(const QSslCertificate& certificate, bool issuer) {
  QStringList parts;
  const QList<QByteArray> attributes =
      issuer ? certificate.issuerInfoAttributes() : certificate.subjectInfoAttributes();
  for (const QByteArray& attribute : attributes) {
    const QStringList values =
        issuer ? certificate.issuerInfo(attribute) : certificate.subjectInfo(attribute);
    for (const QString& value : values) parts << QString::fromLatin1(attribute) + '=' + value;
  }
  return ToStd(parts.join(QStringLiteral(", ")));
}

std::string UtcText(const QDateTime& time) {
  return ToStd(time.toUTC().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss 'UTC'")));
}

TlsCertificate Describe(const QSslCertificate& certificate) {
  if (certificate.isNull()) return {};
  TlsCertificate details;
  details.Subject = DistinguishedName(certificate, false);
  details.Issuer = DistinguishedName(certificate, true);
  details.ValidFrom = UtcText(certificate.effectiveDate());
  details.ValidUntil = UtcText(certificate.expiryDate());
  details.Fingerprint =
      ToStd(QString::fromLatin1(certificate.digest(QCryptographicHash::Sha256).toHex().toUpper()));
  return details;
}

// Of several findings, the one most worth telling: a chain that leads nowhere makes the
// name and dates moot.
TlsFailure Classify(const QList<QSslError>& errors) {
  bool nameMismatch = false;
  bool expired = false;
  bool other = false;
  for (const QSslError& error : errors) {
    switch (error.error()) {
      case QSslError::HostNameMismatch:
        nameMismatch = true;
        break;
      case QSslError::CertificateExpired:
      case QSslError::CertificateNotYetValid:
        expired = true;
        break;
      default:
        other = true;
        break;
    }
  }
  if (other) return TlsFailure::Untrusted;
  if (expired) return TlsFailure::Expired;
  if (nameMismatch) return TlsFailure::NameMismatch;
  return TlsFailure::Untrusted;
}

// A plain connection never loads the TLS library: it starts as a QTcpSocket and moves into a
// QSslSocket at StartTls (see TakeOverForTls). Windows has no descriptor to hand over, so
// there every connection is a QSslSocket from the start.
QTcpSocket* NewSocket(QObject* parent) {
#ifdef Q_OS_WIN
  QTcpSocket* socket = new QSslSocket(parent);
#else
  QTcpSocket* socket = new QTcpSocket(parent);
#endif
  socket->setProxy(QNetworkProxy::NoProxy);
  return socket;
}

// QSslSocket hides some of QAbstractSocket's functions with its own; these pick the right one.
void AbortSocket(QTcpSocket* socket) {
  if (auto* tls = qobject_cast<QSslSocket*>(socket)) {
    tls->abort();
  } else {
    socket->abort();
  }
}

void FlushSocket(QTcpSocket* socket) {
  if (auto* tls = qobject_cast<QSslSocket*>(socket)) {
    tls->flush();
  } else {
    socket->flush();
  }
}

void SetLowDelay(QTcpSocket* socket) {
  if (auto* tls = qobject_cast<QSslSocket*>(socket)) {
    tls->setSocketOption(QAbstractSocket::LowDelayOption, 1);
  } else {
    socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
  }
}

}  // namespace

QtSocket::QtSocket() = default;

QtSocket::~QtSocket() {
  listener_ = nullptr;
  Close();
}

void QtSocket::SetListener(SocketListener* listener) { listener_ = listener; }

void QtSocket::SetLocalPort(int32_t port) { localPort_ = port; }

int32_t QtSocket::LocalPort() const { return localPort_; }

void QtSocket::SetRemoteHost(const std::string& host) { remoteHost_ = host; }

void QtSocket::SetRemotePort(int32_t port) { remotePort_ = port; }

int QtSocket::ErrorNumber(QAbstractSocket::SocketError error) {
  switch (error) {
    case QAbstractSocket::ConnectionRefusedError:
      return 10061;
    case QAbstractSocket::RemoteHostClosedError:
      return 10054;
    case QAbstractSocket::HostNotFoundError:
      return 11001;
    case QAbstractSocket::SocketAccessError:
      return 10013;
    case QAbstractSocket::SocketResourceError:
      return 10055;
    case QAbstractSocket::SocketTimeoutError:
      return 10060;
    case QAbstractSocket::NetworkError:
      return 10050;
    case QAbstractSocket::AddressInUseError:
      return kSocketAddressInUse;
    case QAbstractSocket::SocketAddressNotAvailableError:
      return kAddressNotAvailable;
    case QAbstractSocket::UnsupportedSocketOperationError:
      return 10045;
    case QAbstractSocket::TemporaryError:
      return 10035;
    case QAbstractSocket::OperationError:
    case QAbstractSocket::UnfinishedSocketOperationError:
      return kSocketInvalidState;
    default:
      return 30000 + static_cast<int>(error);
  }
}

SocketError QtSocket::Connect() {
  if (socket_ != nullptr) return {kSocketInvalidState, kInvalidStateText};
  const CallScope scope(*this);

  ++generation_;
  ended_ = false;
  established_ = false;
  handshaking_ = false;
  boundPort_ = 0;
  const quint16 port =
      localPort_ >= 0 && localPort_ <= 65535 ? static_cast<quint16>(localPort_) : 0;

  // An address in digits needs no lookup: its own family, and no dual-stack option call. A
  // name is looked up only after the bind, whose failure must come back from here: dual-stack
  // first, so that names that resolve to IPv6 work too; IPv4 alone where the system has no
  // IPv6. No signals are watched yet: a failed bind is reported only here.
  const QString host = QString::fromUtf8(remoteHost_.data(), qsizetype(remoteHost_.size()));
  QHostAddress literal;
  const bool isLiteral = literal.setAddress(host);
  const bool ipv4 = isLiteral && literal.protocol() == QAbstractSocket::IPv4Protocol;
  const bool ipv6 = isLiteral && literal.protocol() == QAbstractSocket::IPv6Protocol;
  socket_ = NewSocket(&context_);
  bool bound = socket_->bind(ipv4   ? QHostAddress(QHostAddress::AnyIPv4)
                             : ipv6 ? QHostAddress(QHostAddress::AnyIPv6)
                                    : QHostAddress(QHostAddress::Any),
                             port, kBindMode);
  if (!bound && !isLiteral && socket_->error() != QAbstractSocket::AddressInUseError) {
    delete socket_;
    socket_ = NewSocket(&context_);
    bound = socket_->bind(QHostAddress::AnyIPv4, port, kBindMode);
  }
  if (!bound) {
    // The socket stays "not closed" until Close, so the cycle can close it and try the next port.
    ended_ = true;
    return {ErrorNumber(socket_->error()), ToStd(socket_->errorString())};
  }

  boundPort_ = socket_->localPort();
  Watch(socket_);
  if (remotePort_ < 1 || remotePort_ > 65535) {
    const int number = kAddressNotAvailable;
    PostEnd([number](SocketListener& l) { l.OnSocketError(number, kInvalidPortText); });
    return {};
  }
  if (isLiteral) {
    socket_->connectToHost(literal, static_cast<quint16>(remotePort_));
  } else {
    socket_->connectToHost(host, static_cast<quint16>(remotePort_));
  }
  return {};
}

void QtSocket::Watch(QTcpSocket* socket) {
  if (auto* tls = qobject_cast<QSslSocket*>(socket)) {
    QObject::connect(tls, &QSslSocket::sslErrors, &context_,
                     [this, tls](const QList<QSslError>& errors) { OnSslErrors(tls, errors); });
    QObject::connect(tls, &QSslSocket::encrypted, &context_, [this, tls] { OnEncrypted(tls); });
  }
  QObject::connect(socket, &QTcpSocket::connected, &context_, [this, socket] {
    established_ = true;
    // Commands are single short writes, each awaited: without this each would wait on the
    // acknowledgement of the one before.
    SetLowDelay(socket);
    Deliver([](SocketListener& l) { l.OnConnect(); });
  });
  QObject::connect(socket, &QTcpSocket::readyRead, &context_, [this] {
    if (MayDeliverNow()) {
      if (listener_ != nullptr && socket_ != nullptr && socket_->bytesAvailable() > 0) {
        listener_->OnDataArrival();
      }
      return;
    }
    Post([this](SocketListener& l) {
      // Several notices may be queued for one read that took everything.
      if (socket_ != nullptr && socket_->bytesAvailable() > 0) l.OnDataArrival();
    });
  });
  QObject::connect(socket, &QTcpSocket::errorOccurred, &context_,
                   [this, socket](QAbstractSocket::SocketError error) {
                     if (ended_) return;
                     if (handshaking_) {
                       TlsHandshake result = verification_;
                       if (result.Failure == TlsFailure::None) {
                         result.Failure = TlsFailure::Handshake;
                         if (auto* tls = qobject_cast<QSslSocket*>(socket)) {
                           result.Certificate = Describe(tls->peerCertificate());
                         }
                       }
                       if (result.Detail.empty()) result.Detail = ToStd(socket->errorString());
                       EndHandshake(std::move(result));
                       return;
                     }
                     if (error == QAbstractSocket::RemoteHostClosedError) {
                       PostEnd([](SocketListener& l) { l.OnSocketClose(); });
                       return;
                     }
                     const int number =
                         LocalPortCollides(error) ? kSocketAddressInUse : ErrorNumber(error);
                     const std::string text = ToStd(socket->errorString());
                     PostEnd([number, text](SocketListener& l) { l.OnSocketError(number, text); });
                   });
  QObject::connect(socket, &QTcpSocket::disconnected, &context_, [this] {
    if (ended_) return;
    if (handshaking_) {
      TlsHandshake result = verification_;
      if (result.Failure == TlsFailure::None) result.Failure = TlsFailure::Handshake;
      if (result.Detail.empty()) result.Detail = ToStd(QString::fromUtf8(kRemoteClosedText));
      EndHandshake(std::move(result));
      return;
    }
    PostEnd([](SocketListener& l) { l.OnSocketClose(); });
  });
}

bool QtSocket::LocalPortCollides(QAbstractSocket::SocketError error) const {
  // After a good bind, towards a valid port (checked before connecting), "address not
  // available" from connect means another socket on this local port already talks to the same
  // server: ours closed a moment ago, or another program's (a check from cron beside the tray).
  // Qt has no name for that error at connect and calls it unknown.
  if (established_ || boundPort_ == 0) return false;
  return error == QAbstractSocket::UnknownSocketError ||
         error == QAbstractSocket::SocketAddressNotAvailableError ||
         error == QAbstractSocket::AddressInUseError;
}

void QtSocket::PostEnd(std::function<void(SocketListener&)> event) {
  ended_ = true;
  Deliver(std::move(event));
}

void QtSocket::Deliver(std::function<void(SocketListener&)> event) {
  if (!MayDeliverNow()) {
    Post(std::move(event));
    return;
  }
  if (listener_ != nullptr) event(*listener_);
}

void QtSocket::Post(std::function<void(SocketListener&)> event) {
  const uint64_t generation = generation_;
  ++queued_;
  QMetaObject::invokeMethod(
      &context_,
      [this, generation, event = std::move(event)] {
        --queued_;
        if (generation != generation_ || listener_ == nullptr) return;
        event(*listener_);
      },
      Qt::QueuedConnection);
}

SocketError QtSocket::StartTls(const TlsRequest& request) {
  const CallScope scope(*this);
  if (socket_ == nullptr || socket_->state() != QAbstractSocket::ConnectedState || handshaking_) {
    return {kSocketInvalidState, kInvalidStateText};
  }
  if (auto* tls = qobject_cast<QSslSocket*>(socket_); tls != nullptr && tls->isEncrypted()) {
    return {kSocketInvalidState, kInvalidStateText};
  }
  // Bytes the server sent before it could know we start TLS are not ours to trust; read as
  // part of the secure stream they would let a man in the middle speak for the server.
  if (socket_->bytesAvailable() > 0) return {kSocketInvalidState, kUnreadBeforeTlsText};
  QSslSocket* tls = TakeOverForTls();
  if (tls == nullptr) return {kSocketInvalidState, kInvalidStateText};

  QSslConfiguration configuration = tls->sslConfiguration();
  configuration.setProtocol(QSsl::TlsV1_2OrLater);
  configuration.setPeerVerifyMode(QSslSocket::VerifyPeer);
  // Left alone when the system's store is all: the TLS library then looks authorities up in
  // its hashed folders as it needs them instead of taking a copy of every one.
  if (auto authorities = ProcessAuthorities().ForConnection()) {
    configuration.setCaCertificates(*authorities);
  }
  tls->setSslConfiguration(configuration);
  tls->setPeerVerifyName(
      QString::fromUtf8(request.HostName.data(), qsizetype(request.HostName.size())));
  tlsRequest_ = request;
  verification_ = {};
  handshaking_ = true;
  tls->startClientEncryption();
  return {};
}

QSslSocket* QtSocket::TakeOverForTls() {
  if (auto* tls = qobject_cast<QSslSocket*>(socket_)) return tls;
#ifdef Q_OS_WIN
  return nullptr;
#else
  // Bytes still waiting in the plain socket would be lost with it.
  if (socket_->bytesToWrite() > 0) return nullptr;
  // The QSslSocket gets its own descriptor of the same connection; closing the plain socket's
  // one then leaves the connection open.
  const int descriptor = ::dup(static_cast<int>(socket_->socketDescriptor()));
  if (descriptor < 0) return nullptr;
  auto* tls = new QSslSocket(&context_);
  tls->setProxy(QNetworkProxy::NoProxy);
  if (!tls->setSocketDescriptor(descriptor, QAbstractSocket::ConnectedState,
                                QIODevice::ReadWrite)) {
    ::close(descriptor);
    delete tls;
    return nullptr;
  }
  QTcpSocket* plain = socket_;
  QObject::disconnect(plain, nullptr, &context_, nullptr);
  plain->abort();
  // StartTls usually runs inside one of the plain socket's own signals.
  plain->deleteLater();
  socket_ = tls;
  Watch(tls);
  return tls;
#endif
}

void QtSocket::OnSslErrors(QSslSocket* socket, const QList<QSslError>& errors) {
  if (!handshaking_) return;
  const TlsCertificate certificate = Describe(socket->peerCertificate());
  if (!certificate.Fingerprint.empty() &&
      FingerprintsMatch(tlsRequest_.TrustedFingerprint, certificate.Fingerprint)) {
    // Only these findings, and only for this certificate: anything else still fails.
    socket->ignoreSslErrors(errors);
    verification_.TrustedByFingerprint = true;
    return;
  }
  verification_.Failure = Classify(errors);
  verification_.Certificate = certificate;
  QStringList texts;
  for (const QSslError& error : errors) texts << error.errorString();
  verification_.Detail = ToStd(texts.join(QStringLiteral("; ")));
}

void QtSocket::OnEncrypted(QSslSocket* socket) {
  if (!handshaking_ || ended_) return;
  TlsHandshake result;
  result.Protocol = ProtocolName(socket->sessionProtocol());
  result.Cipher = ToStd(socket->sessionCipher().name());
  result.Certificate = Describe(socket->peerCertificate());
  result.TrustedByFingerprint = verification_.TrustedByFingerprint;
  handshaking_ = false;
  Post([result](SocketListener& l) { l.OnTlsHandshake(result); });
}

void QtSocket::EndHandshake(TlsHandshake result) {
  handshaking_ = false;
  PostEnd([result = std::move(result)](SocketListener& l) { l.OnTlsHandshake(result); });
}

SocketError QtSocket::SendData(const std::string& bytes) {
  const CallScope scope(*this);
  if (socket_ == nullptr || socket_->state() != QAbstractSocket::ConnectedState || handshaking_) {
    return {kSocketInvalidState, kInvalidStateText};
  }
  const qint64 written = socket_->write(bytes.data(), static_cast<qint64>(bytes.size()));
  if (written != static_cast<qint64>(bytes.size())) {
    return {ErrorNumber(socket_->error()), ToStd(socket_->errorString())};
  }
  FlushSocket(socket_);
  return {};
}

bool QtSocket::GetData(std::string& bytes) {
  bytes.clear();
  return AppendData(bytes);
}

bool QtSocket::AppendData(std::string& buffer) {
  const CallScope scope(*this);
  if (socket_ == nullptr) return false;
  // Straight into the caller's string, without a QByteArray in between.
  const qint64 available = socket_->bytesAvailable();
  if (available <= 0) return true;
  const std::size_t oldSize = buffer.size();
  buffer.resize(oldSize + static_cast<std::size_t>(available));
  const qint64 read = socket_->read(buffer.data() + oldSize, available);
  buffer.resize(oldSize + static_cast<std::size_t>(read > 0 ? read : 0));
  return read >= 0;
}

void QtSocket::Close() {
  const CallScope scope(*this);
  ++generation_;
  ended_ = true;
  if (socket_ == nullptr) return;
  QTcpSocket* old = socket_;
  socket_ = nullptr;
  boundPort_ = 0;
  QObject::disconnect(old, nullptr, &context_, nullptr);
  AbortSocket(old);
  // Close may run inside one of this socket's own signals.
  old->deleteLater();
}

}  // namespace postvane
