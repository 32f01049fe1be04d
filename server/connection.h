#pragma once

#include <QByteArray>
#include <QObject>
#include <QSslConfiguration>
#include <QString>
#include <atomic>
#include <memory>
#include <optional>

#include "server/flight_budget.h"
#include "server/places.h"
#include "server/serve_options.h"
#include "server/throttle.h"
#include "server/worker_pool.h"

class QTcpSocket;

namespace server {

class ReplyLink;
class Session;

// What every connection of one server shares.
struct ServerContext {
  ServeOptions options;
  std::optional<QSslConfiguration> tls;  // set: every connection runs in TLS
  SignInThrottle* throttle = nullptr;
  Places* places = nullptr;
  FlightBudget* budget = nullptr;
  WorkerPool* pool = nullptr;
  // Set when the server is stopping: requests are answered with kStopping.
  const std::atomic<bool>* stopping = nullptr;
};

inline const QString kStopping = QStringLiteral("服务器正在停止，请稍后重新连接");

// One client, served on the event loop of the thread it lives in: frames are gathered as their
// bytes arrive, each request is handed to a worker, and its reply's frames are written as the
// worker makes them. One request at a time: the next frame waits until the reply is out. A
// connection holds its socket, its session and the frame it is gathering, nothing more.
//
// Deadlines: a connection signs in within signInTimeoutMs of its acceptance; a frame arrives
// whole within stallTimeoutMs of its first byte; a signed-in connection sends something at
// least every idleTimeoutMs. A bad frame (over the limit, not a CBOR map) ends only this
// connection; a request over the size limits is refused with a reason and the connection goes
// on.
class Connection : public QObject {
  Q_OBJECT

 public:
  Connection(qintptr descriptor, quint64 id, const ServerContext& context,
             QObject* parent = nullptr);
  ~Connection() override;

  // Checks the deadlines; called a few times a second by the connection's loop.
  void sweep();
  // Tells the client `reason` (when it can be told) and closes.
  void closeWith(const QString& reason);

 public slots:
  void flushReply();

 private:
  struct Outcome {
    bool close = false;
    bool goodbye = false;
    bool lost = false;
    std::optional<User> user;
  };

  void readInput();
  void dispatch(QByteArray body);
  void finished(const Outcome& outcome);
  void end(const QString& reason);
  void giveBackBudget();

  const ServerContext& context_;
  const quint64 id_;
  std::unique_ptr<QTcpSocket> socket_;
  QString peer_;
  QString address_;
  std::shared_ptr<Session> session_;
  std::shared_ptr<ReplyLink> link_;
  std::optional<User> user_;  // as the session last reported it
  qint64 acceptedAt_ = 0;     // ms on the steady clock
  qint64 lastActive_ = 0;
  qint64 frameStart_ = -1;  // when the first byte of the frame being gathered arrived
  qint64 expected_ = -1;    // length of the frame being gathered, once its header is read
  qint64 reserved_ = 0;     // taken from the flight budget for it
  bool busy_ = false;       // a request is with a worker
  bool heard_ = false;      // the client sent anything (a probe that sends nothing leaves no line)
  bool closing_ = false;    // told to close: ends once its last words are written
  qint64 closingSince_ = 0;
  bool peerGone_ = false;  // the client hung up while its request was with a worker
  bool ended_ = false;
  QString endReason_;
};

}  // namespace server
