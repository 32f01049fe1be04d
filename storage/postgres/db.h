#pragma once

#include <libpq-fe.h>

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QVariant>
#include <QVariantList>
#include <memory>
#include <vector>

#include "storage/result.h"
#include "storage/sql_text.h"

// Thin owners of libpq connections and results. One connection is used by one thread at a time.
namespace storage::pg {

using sqltext::quoted;

struct ResultFree {
  void operator()(PGresult* r) const { PQclear(r); }
};
using Rows = std::unique_ptr<PGresult, ResultFree>;

// Values bound to $1, $2 …, all sent as text with their type left for the server to infer
// from where they stand (an integer column takes "12" as a number, a text column as text).
class Params {
 public:
  Params() = default;
  explicit Params(const QVariantList& values);
  void add(const QVariant& value);
  int size() const { return int(pointers_.size()); }
  const char* const* values() const { return pointers_.data(); }

 private:
  std::vector<QByteArray> texts_;
  std::vector<const char*> pointers_;
};

// A value as the text PostgreSQL reads it: numbers in decimal, booleans as 1 or 0.
QByteArray textOf(const QVariant& value);

// A value of a result: null, qint64 (integers and booleans, whole numerics) or QString.
QVariant value(const PGresult* rows, int row, int column);

// Connections differ in what they may do: a writer works as the connecting role on the
// system's tables; a reader works as the select-only role, read-only, and sees `user_name`
// without its password column.
enum class Role { Writer, Reader };

class Connection {
 public:
  static Result<std::unique_ptr<Connection>> open(const QString& location, Role role);
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  PGconn* get() const { return conn_; }
  Role role() const { return role_; }
  bool broken() const { return PQstatus(conn_) != CONNECTION_OK; }

  // Runs statements without parameters (several, separated by semicolons).
  Status exec(const QString& sql);
  // Runs one statement with `params`; its rows, or why it failed.
  Result<Rows> run(const QString& sql, const Params& params = {});
  // The statement for `sql`, prepared once on this connection; its name. When the server
  // cannot infer the type of one of its `marks` parameters, they are all taken as text.
  Result<QByteArray> prepared(const QString& sql, int marks = 0);
  // Whether `sql` is prepared on this connection already (its plan made).
  bool hasPrepared(const QString& sql) const { return statements_.contains(sql); }
  // Runs a prepared statement to its end.
  Result<Rows> runPrepared(const QByteArray& name, const Params& params);

  // The SQLSTATE of the last failure on this connection.
  const QByteArray& lastState() const { return lastState_; }
  // The server's own message of the last failure.
  const QString& lastMessage() const { return lastMessage_; }
  // Why `rows` (or, without rows, the connection) failed, fit to be shown to the user.
  QString failure(const PGresult* rows = nullptr) const;

 private:
  Connection(PGconn* conn, Role role) : conn_(conn), role_(role) {}
  // The server's one-line message for `rows`, or the connection's.
  QString message(const PGresult* rows) const;
  Result<Rows> checked(PGresult* rows);

  PGconn* conn_;
  Role role_;
  QHash<QString, QByteArray> statements_;  // sql → prepared name
  static constexpr int kMostStatements = 128;
  quint64 named_ = 0;
  QByteArray lastState_;
  QString lastMessage_;
};

// Ends the statement running on `conn` and reads what is left of its results.
void abandonRunning(PGconn* conn);

// The connection string's parts other than the password, as "key=value" words.
QString withoutPassword(const QString& location);

// The SQLSTATE of a failed result ("" when none).
QByteArray state(const PGresult* rows);

// The longest a statement runs and the longest a write waits for a row another server holds
// (below the client's 60 s wait for a reply).
inline constexpr int kStatementTimeoutMs = 50000;
inline constexpr int kLockTimeoutMs = 40000;

}  // namespace storage::pg
