#pragma once
// A tiny HTTP server on the loopback address for tests. It runs in the test's
// own thread: the code under test spins an event loop while it waits, which
// serves the server too.
#include <QByteArray>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <string>

namespace kestrova::test {

class HttpTestServer {
 public:
  enum class Mode { Answer, Silent };

  HttpTestServer() {
    server_.listen(QHostAddress::LocalHost, 0);
    QObject::connect(&server_, &QTcpServer::newConnection, [this] {
      while (QTcpSocket* socket = server_.nextPendingConnection()) {
        ++connections_;
        QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
          request_ += socket->readAll();
          if (!request_.contains("\r\n\r\n") || mode == Mode::Silent) return;
          QByteArray reply = "HTTP/1.1 " + QByteArray::number(status) + " OK\r\n";
          reply += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
          reply += "Connection: close\r\n\r\n";
          socket->write(reply);
          socket->write(body);
          socket->disconnectFromHost();
        });
      }
    });
  }

  std::string url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(server_.serverPort()) + path;
  }

  // How many connections were made to it.
  int requests() const { return connections_; }

  Mode mode = Mode::Answer;
  int status = 200;
  QByteArray body;

 private:
  QTcpServer server_;
  QByteArray request_;
  int connections_ = 0;
};

}  // namespace kestrova::test
