#pragma once

#include <QByteArray>
#include <QCborMap>
#include <QString>
#include <QTcpSocket>
#include <optional>

#include "protocol/messages.h"
#include "protocol/packet_stream.h"

// The answer to one request: the decoded reply, or the server's refusal (or the transport's
// failure) as text.
template <typename T>
struct Answer {
  std::optional<T> value;
  QString error;

  bool ok() const { return value.has_value(); }
  const T& operator*() const { return *value; }
  const T* operator->() const { return &*value; }
};

// A bare protocol client over a blocking socket, for protocol-level tests and the benchmark.
// Use it from one thread; each call sends one request and waits for its reply.
class WireClient {
 public:
  static constexpr int kTimeoutMs = 30000;

  // Connects and, unless `hello` is false, greets the server object. False on failure, with
  // the reason in error(). With `from`, the connection leaves from that local address (another
  // loopback address looks like another machine to the server).
  bool connectTo(const QString& host, quint16 port, bool hello = true,
                 const QString& from = QString());

  Answer<protocol::SignInReply> signIn(const QString& id, const QString& password);
  Answer<protocol::Packet> open(const protocol::OpenRequest& request);
  // The reply kept as the client keeps it: values compactly, no QVariant per value.
  Answer<protocol::CompactPacket> openCompact(const protocol::OpenRequest& request);
  // Opens a command-text provider (DataSetProvider_search unless named) with a select text.
  Answer<protocol::Packet> select(
      const QString& text, const QVariantList& params = {},
      const QString& provider = QStringLiteral("DataSetProvider_search"));
  Answer<protocol::ApplyReply> apply(const protocol::ApplyRequest& request);
  Answer<qint64> draw(const QString& table);

  // Sends a request and returns the reply as it came; nothing when the transport failed.
  std::optional<QCborMap> call(const QCborMap& request);
  // Writes bytes as they are, framed or not.
  bool sendRaw(const QByteArray& bytes);
  // Reads the next reply frame.
  std::optional<QCborMap> readReply();
  // Closes the connection at once, as a client does after saying bye.
  void hangUp() { socket_.abort(); }
  // True once the server has closed the connection (waiting at most `timeoutMs`).
  bool waitForClosed(int timeoutMs = kTimeoutMs);

  const QString& error() const { return error_; }
  qintptr descriptor() const { return socket_.socketDescriptor(); }

 private:
  template <typename T>
  Answer<T> ask(const QCborMap& request);
  // Sends a request and returns the body of the reply frame, unread.
  std::optional<QByteArray> exchange(const QCborMap& request);

  QTcpSocket socket_;
  QString error_;
};
