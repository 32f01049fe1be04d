#pragma once

#include <QByteArray>
#include <QCborMap>
#include <QHash>
#include <QString>
#include <functional>
#include <optional>

#include "protocol/messages.h"
#include "protocol/request_reader.h"
#include "server/access.h"
#include "server/status.h"
#include "server/throttle.h"
#include "storage/storage.h"

namespace server {

// One client's conversation: the hello, sign-in, and the requests a signed-in user may make.
// It turns each request frame into a reply, on whichever worker runs it with that worker's
// storage; the connection that owns it moves the frames, and an open reply's frames go out
// through `send` as the rows are read. One request at a time.
class Session {
 public:
  // Sends one frame; false when it could not be sent.
  using Send = std::function<bool(const QByteArray& frame)>;
  // Whether `user` may have a place among signed-in users: nothing, or the reason not.
  using Admit = std::function<std::optional<QString>(const User& user)>;

  // `peer` names the client in the log; failed sign-ins from `address` are throttled.
  Session(QString peer, QString address, SignInThrottle& throttle, Admit admit);
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

  // Answers the request in frame `body` with `store`, or, without one, with `storeFailure`.
  Reply handle(const QByteArray& body, storage::Storage* store, const QString& storeFailure,
               const Send& send);
  bool signedIn() const { return user_.has_value(); }
  const std::optional<User>& user() const { return user_; }

 private:
  // Where a dataset's changes go: the table and the packet → stored column map.
  struct Target {
    const schema::Table* table;
    QHash<QString, QString> columns;
  };

  Reply answer(protocol::Request& request, const Send& send);
  Reply hello(const protocol::Request& request);
  // When accounts changed since the signed-in account was last read, reads it again: a new
  // role takes effect at once; a deleted account, or one left without a valid role, is signed
  // out and the request refused.
  Status followAccount();
  QCborMap signIn(const protocol::SignInRequest& request);
  Status open(const protocol::OpenRequest& request, storage::RowSink& rows);
  Result<QList<qint64>> apply(const protocol::ApplyRequest& request);
  Result<qint64> draw(const protocol::DrawRequest& request);
  Result<bool> review(const protocol::ReviewRequest& request);
  Result<Target> target(const protocol::OpenRequest& source);
  // A line about this client, summarised with others of its `kind` when they come too often.
  void log(const QString& kind, const QString& text) const;

  storage::Storage* store_ = nullptr;  // the storage of the request being answered
  QString peer_;
  QString address_;
  SignInThrottle& throttle_;
  Admit admit_;
  bool greeted_ = false;
  std::optional<User> user_;
  quint64 seenGeneration_ = 0;  // storage::accountsGeneration() when the account was last read
  const quint64 token_;         // holds the history numbers this session draws
};

}  // namespace server
