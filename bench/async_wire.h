#pragma once

#include <QCborMap>
#include <QObject>
#include <QTcpSocket>
#include <QTimer>
#include <functional>

#include "protocol/messages.h"
#include "protocol/packet_stream.h"
#include "tests/support/wire_client.h"

// A wire connection that never blocks, so that one thread can hold thousands of them: each call
// sends its request and returns at once, and the answer comes to `then` from the event loop of
// the thread the object lives in. The protocol allows one request in flight per connection;
// callers wait for `then` before they call again. When the connection fails, or a reply takes
// longer than the timeout, the request in flight is answered with the reason and the connection
// is closed; every later call is answered with that reason (from the event loop, never inside
// the call).
namespace bench {

class AsyncWire : public QObject {
 public:
  template <typename T>
  using Then = std::function<void(Answer<T>)>;
  using Done = std::function<void(const QString& error)>;

  explicit AsyncWire(int timeoutMs, QObject* parent = nullptr);

  // Connects and greets the server object; `then` gets an empty text on success.
  void connectTo(const QString& host, quint16 port, Done then);
  void signIn(const QString& id, const QString& password, Then<protocol::SignInReply> then);
  // The reply kept as the client keeps it (protocol::toPacket gives the simple form).
  void open(const protocol::OpenRequest& request, Then<protocol::CompactPacket> then);
  void apply(const protocol::ApplyRequest& request, Then<protocol::ApplyReply> then);
  void draw(const QString& table, Then<qint64> then);

  // Empty while the connection serves; else why it does not.
  const QString& lost() const { return lost_; }

 private:
  // Takes one frame body of the reply; true once the reply is whole.
  using Reader = std::function<bool(const QByteArray& body)>;

  // Sends `request`; its reply's frames go to `read`, then `done` is called (with the reason
  // when the connection failed first).
  void send(const QCborMap& request, Reader read, Done done);
  // A reply map checked for a refusal.
  void call(const QCborMap& request, Then<QCborMap> then);
  template <typename T>
  void ask(const QCborMap& request, Then<T> then);
  void readFrames();
  void finish(const QString& error);
  void fail(const QString& reason);

  QTcpSocket socket_;
  QTimer timer_;
  Reader read_;
  Done done_;
  Done connected_;
  QString lost_;
};

}  // namespace bench
