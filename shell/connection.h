#pragma once

#include <QCborMap>
#include <QString>
#include <QTcpSocket>
#include <functional>
#include <memory>
#include <optional>

#include "protocol/messages.h"
#include "protocol/packet_stream.h"

// Where the application server is and how to reach it: "[tls://|tcp://]HOST[:PORT]", port 7070
// when not given. The wire runs in TLS unless the host is this machine (127.0.0.0/8, ::1,
// localhost); `tls://` asks for TLS on loopback too, `tcp://` for plain TCP elsewhere (only
// for a server started with --insecure on a network one trusts). Over TLS the server's
// certificate must be signed by an authority in `caFile` or, without one, in the system's
// store.
struct ServerAddress {
  ServerAddress() = default;
  ServerAddress(QString host, quint16 port) : host(std::move(host)), port(port) {}

  QString host = QStringLiteral("127.0.0.1");
  quint16 port = 7070;
  bool tls = false;
  QString caFile;  // PEM certificates to trust instead of the system's store

  // Parses "[tls://|tcp://]HOST[:PORT]"; nothing on an empty host or a bad port.
  static std::optional<ServerAddress> parse(const QString& text);
  // The address the command-line options give: the server text (empty: 127.0.0.1:7070) and
  // the --ca file, which implies TLS. Nothing when the text does not parse.
  static std::optional<ServerAddress> fromOptions(const QString& text, const QString& caFile);
  QString toString() const { return host + u':' + QString::number(port); }
};

// The one socket connection to the application server (`SocketConnection1` of the main window).
// Every call is synchronous: it sends one request and waits for its reply. Failures and refusals
// are thrown as RemoteError carrying the reason.
//
// The connection keeps its address and the credentials of its last successful sign-in. When
// the server has closed the connection (restarted, or closed it for being idle), the next call
// reconnects and signs in again, once, before it sends its request; when that fails the call
// raises why. A request that was sent and got no reply is repeated on a new connection only
// when it changes nothing (hello, sign-in, open); for apply and draw the outcome is unknown,
// and the call raises that instead of repeating it.
class Connection {
 public:
  Connection();
  ~Connection();

  // The process-wide connection every remote dataset uses.
  static Connection& shared();

  // Connects and greets the server object "rirev.rirev_qrvt". Throws on failure.
  void open(const ServerAddress& address);
  // Says goodbye and disconnects, forgetting the address and credentials: no call reconnects
  // after this. Does nothing when not connected.
  void close();
  bool connected() const;

  protocol::SignInReply signIn(const QString& id, const QString& password);
  // Reads the reply into `into`, every frame of it.
  void open(const protocol::OpenRequest& request, protocol::CompactPacket& into);
  // Called while a reply is read in parts: after each lot of frames, and with `done` after the
  // last (with the reason when the reply failed or the connection broke).
  using Arrived = std::function<void(bool done, const QString& error)>;
  // Reads the first frame of the reply into `into` and returns whether it was the last. When
  // it was not, the others are read into `into` as they arrive while the event loop runs, and
  // `arrived` follows them; any other call first reads the rest. `into` must stay until done
  // or dropParts().
  bool openInParts(const protocol::OpenRequest& request, protocol::CompactPacket& into,
                   Arrived arrived);
  // The reply being read in parts is no longer wanted: its frames are read and dropped.
  void dropParts();
  // Reads the rest of the reply in parts now, waiting for it.
  void finishParts();
  protocol::ApplyReply apply(const protocol::ApplyRequest& request);
  // The next `id_num` of a history table, drawn on the server.
  qint64 draw(const QString& table);
  // Marks `person`'s record reviewed by the signed-in administrator; false when the person has
  // no account to mark.
  bool review(const QString& person);

  // Waiting time for each reply.
  static constexpr int kTimeoutMs = 60000;
  static constexpr int kConnectTimeoutMs = 10000;

 private:
  enum class Repeat { Safe, Unsafe };  // whether a request may be sent again when unanswered

  // Sends a request and returns the body of the reply frame, unread; reconnects as described.
  QByteArray exchange(const QCborMap& request, Repeat repeat);
  QCborMap call(const QCborMap& request, Repeat repeat);
  // One attempt on the socket as it is. `sent` tells whether the whole request left.
  std::optional<QByteArray> transfer(const QCborMap& request, QString* error, bool* sent);
  // A new socket to the address, with TLS when asked for, greeted. Throws on failure.
  void connectSocket();
  // connectSocket, then the held sign-in again. Throws with the reason when either fails.
  void reconnect();
  // True when the server has closed the connection or sent something nobody asked for.
  bool stale();
  void drop();

  // A reply being read in parts.
  struct Parts;
  // Reads the frames that have arrived (from the event loop).
  void readArrivedParts();
  // Takes one frame of it; false once the reply is over.
  bool takePart(const QByteArray& body);
  // Ends the reply in parts, telling `arrived` why (nothing when it ended well).
  void endParts(const QString& error);
  // Watches a new socket for frames of a reply in parts, and for the connection breaking.
  void watch(QTcpSocket& socket);

  std::optional<ServerAddress> address_;
  std::optional<protocol::SignInRequest> credentials_;
  std::unique_ptr<QTcpSocket> socket_;
  std::unique_ptr<Parts> parts_;
  bool waiting_ = false;  // a call is waiting for a frame: what arrives is its own
};
