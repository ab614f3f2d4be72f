// Browser redirects received on 127.0.0.1.
#include "desktop/net/qt_loopback_listener.h"

#include <QHostAddress>
#include <QTcpSocket>
#include <QTimer>
#include <memory>

namespace postvane {

QtLoopbackListener::QtLoopbackListener() {
  QObject::connect(&server_, &QTcpServer::newConnection, &server_, [this] { OnConnection(); });
}

QtLoopbackListener::~QtLoopbackListener() { Close(); }

int QtLoopbackListener::Listen(Handler handler) {
  Close();
  if (!server_.listen(QHostAddress::LocalHost, 0)) return 0;
  handler_ = std::move(handler);
  return server_.serverPort();
}

void QtLoopbackListener::Close() {
  handler_ = {};
  server_.close();
  // Connections under way go with the server's children.
  for (QTcpSocket* socket : server_.findChildren<QTcpSocket*>()) socket->abort();
}

void QtLoopbackListener::OnConnection() {
  while (QTcpSocket* socket = server_.nextPendingConnection()) {
    auto* wait = new QTimer(socket);
    wait->setSingleShot(true);
    QObject::connect(wait, &QTimer::timeout, socket, [socket] { socket->abort(); });
    wait->start(kRequestWaitMs);
    QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    QObject::connect(socket, &QTcpSocket::errorOccurred, socket,
                     [socket] { socket->deleteLater(); });
    auto answered = std::make_shared<bool>(false);
    QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket, wait, answered] {
      if (*answered) return;
      if (!socket->canReadLine()) {
        if (socket->bytesAvailable() > kRequestLimit) socket->abort();
        return;
      }
      *answered = true;
      wait->stop();
      QByteArray line = socket->readLine(kRequestLimit);
      while (line.endsWith('\n') || line.endsWith('\r')) line.chop(1);
      // The handler may close this listener; the answer still goes to this browser.
      socket->setParent(nullptr);
      const Handler handler = handler_;
      const std::string answer = handler ? handler(line.toStdString()) : std::string();
      if (answer.empty()) {
        socket->abort();
        return;
      }
      socket->write(answer.data(), static_cast<qint64>(answer.size()));
      socket->disconnectFromHost();
    });
  }
}

}  // namespace postvane
