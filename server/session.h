#pragma once

#include <QByteArray>
#include <QCborMap>
#include <QString>
#include <functional>
#include <optional>

#include "protocol/messages.h"
#include "server/access.h"
#include "server/status.h"
#include "server/throttle.h"
#include "storage/storage.h"

namespace server {

// One client's conversation: the hello, sign-in, and the requests a signed-in user may make.
// It turns each request into a reply; the connection that owns it moves the frames, and sends
// an open reply's frames through `send` as the rows are read.
class Session {
 public:
  // Sends one frame; false when it could not be sent.
  using Send = std::function<bool(const QByteArray& frame)>;

  // `peer` names the client in the log; failed sign-ins from `address` are throttled.
  Session(storage::Storage& store, QString peer, QString address, SignInThrottle& throttle,
          Send send);
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // The frame that answers a request, or none when the reply went out through `send`.
  struct Reply {
    Reply(const QCborMap& message, bool close = false);
    // A reply sent through `send`; `lost` when sending failed.
    static Reply sent(bool lost);
    QByteArray frame;
    bool close = false;    // end the connection once the reply is sent
    bool lost = false;     // the connection failed while the reply was being sent
    bool goodbye = false;  // the client said bye: it may be gone before the reply arrives

   private:
    Reply() = default;
  };

  Reply handle(const QCborMap& request);
  bool signedIn() const { return user_.has_value(); }

 private:
  // Where a dataset's changes go: the table and the packet → stored column map.
  struct Target {
    const schema::Table* table;
    QHash<QString, QString> columns;
  };

  Reply hello(const QCborMap& request);
  // When accounts changed since the signed-in account was last read, reads it again: a new
  // role takes effect at once; a deleted account, or one left without a valid role, is signed
  // out and the request refused.
  Status followAccount();
  QCborMap signIn(const protocol::SignInRequest& request);
  Status open(const protocol::OpenRequest& request, storage::RowSink& rows);
  Result<QList<qint64>> apply(const QCborMap& request);
  Result<qint64> draw(const protocol::DrawRequest& request);
  Result<Target> target(const protocol::OpenRequest& source);
  // A line about this client, summarised with others of its `kind` when they come too often.
  void log(const QString& kind, const QString& text) const;

  storage::Storage& storage_;
  QString peer_;
  QString address_;
  SignInThrottle& throttle_;
  Send send_;
  bool greeted_ = false;
  std::optional<User> user_;
  quint64 seenGeneration_ = 0;  // storage::accountsGeneration() when the account was last read
  const quint64 token_;         // holds the history numbers this session draws
};

}  // namespace server
