#pragma once

#include <QCborMap>
#include <QString>
#include <QTcpSocket>

#include "protocol/messages.h"

// Host and port of the application server: "HOST[:PORT]", port 7070 when not given.
struct ServerAddress {
  QString host = QStringLiteral("127.0.0.1");
  quint16 port = 7070;
  // Parses "HOST[:PORT]"; nothing on an empty host or a bad port.
  static std::optional<ServerAddress> parse(const QString& text);
  QString toString() const { return host + u':' + QString::number(port); }
};

// The one socket connection to the application server (`SocketConnection1` of the main window).
// Every call is synchronous: it sends one request and waits for its reply. Failures and refusals
// are thrown as RemoteError carrying the reason.
class Connection {
 public:
  // The process-wide connection every remote dataset uses.
  static Connection& shared();

  // Connects and greets the server object "rirev.rirev_qrvt". Throws on failure.
  void open(const ServerAddress& address);
  // Says goodbye and disconnects; does nothing when not connected.
  void close();
  bool connected() const;

  protocol::SignInReply signIn(const QString& id, const QString& password);
  protocol::Packet open(const protocol::OpenRequest& request);
  protocol::ApplyReply apply(const protocol::ApplyRequest& request);
  // The next `id_num` of a history table, drawn on the server.
  qint64 draw(const QString& table);

  // Waiting time for each reply.
  static constexpr int kTimeoutMs = 60000;

 private:
  // Sends a request and returns the body of the reply frame, unread.
  QByteArray exchange(const QCborMap& request);
  QCborMap call(const QCborMap& request);

  QTcpSocket socket_;
};
