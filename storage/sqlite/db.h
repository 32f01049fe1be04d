#pragma once

#include <sqlite3.h>

#include <QString>
#include <QVariant>
#include <QVariantList>
#include <unordered_map>
#include <utility>

#include "storage/result.h"
#include "storage/sql_text.h"

// Thin owners of sqlite3 handles and statements. One handle is used by one thread only.
namespace storage::sqlite {

class Statement {
 public:
  Statement() = default;
  explicit Statement(sqlite3_stmt* statement) : statement_(statement) {}
  Statement(Statement&& other) noexcept;
  Statement& operator=(Statement&& other) noexcept;
  ~Statement();

  sqlite3_stmt* get() const { return statement_; }
  explicit operator bool() const { return statement_ != nullptr; }

  // Binds `value` to the 1-based parameter `index` with the value's own type: null, integer,
  // real or text.
  void bind(int index, const QVariant& value);
  // Binds `values` to parameters 1, 2, … in order.
  void bindAll(const QVariantList& values);
  // Null, qint64, double or QString; adds the value's size in bytes to `bytes` when given.
  QVariant column(int index, qint64* bytes = nullptr) const;
  int columnCount() const { return sqlite3_column_count(statement_); }

 private:
  sqlite3_stmt* statement_ = nullptr;
};

class Handle {
 public:
  enum class Mode { ReadWrite, ReadOnly };

  // Opens (creating it in ReadWrite mode) the database file, with a busy timeout for other
  // processes, limits on what one statement may build and the temporary files it may write,
  // and the server's SQL functions registered (sqlite_functions.h).
  // A ReadOnly handle is also `query_only`.
  static Result<Handle> open(const QString& path, Mode mode);

  Handle(Handle&& other) noexcept;
  Handle& operator=(Handle&& other) noexcept;
  ~Handle();

  sqlite3* get() const { return db_; }

  // Prepares one statement; the error names what went wrong.
  Result<Statement> prepare(const QString& sql);
  // Runs statements that need no parameters and return no rows to us.
  Status exec(const QString& sql);
  // A reason for the last failure on this handle, fit to be shown to the user.
  QString failure() const;

 private:
  explicit Handle(sqlite3* db) : db_(db) {}
  sqlite3* db_ = nullptr;
};

// The longest value or row a handle builds.
inline constexpr qint64 kMaxBuiltValueBytes = 4 * 1024 * 1024;

// A write transaction: it waits its turn among the process's writers (first come, first
// served), then BEGIN IMMEDIATE; rolls back when destroyed without a successful commit, and
// gives the turn to the next writer either way.
class Transaction {
 public:
  static Result<Transaction> begin(Handle& handle);
  Transaction(Transaction&& other) noexcept;
  Transaction& operator=(Transaction&&) = delete;
  ~Transaction();
  Status commit();

 private:
  explicit Transaction(Handle& handle) : handle_(&handle) {}
  Handle* handle_ = nullptr;
};

// The statements the server writes itself, prepared once per handle and reused: a request
// that reads one person's rows then costs no more than the engine's own work.
class StatementCache {
 public:
  // A statement lent out: reset when given back, so it holds no read open between uses.
  class Lease {
   public:
    explicit Lease(Statement* statement) : statement_(statement) {}
    Lease(Lease&& other) noexcept : statement_(std::exchange(other.statement_, nullptr)) {}
    Lease& operator=(Lease&&) = delete;
    ~Lease() {
      if (statement_) sqlite3_reset(statement_->get());
    }
    Statement& operator*() const { return *statement_; }
    Statement* operator->() const { return statement_; }

   private:
    Statement* statement_;
  };

  explicit StatementCache(Handle& handle) : handle_(handle) {}
  // The statement for `sql`, without bindings, ready to bind and step.
  Result<Lease> get(const QString& sql);

 private:
  static constexpr int kMostStatements = 64;
  Handle& handle_;
  std::unordered_map<QString, Statement> statements_;
};

// Runs a prepared statement to its end and returns nothing; the handle's failure otherwise.
Status runToEnd(Handle& handle, Statement& statement);

using sqltext::quoted;

}  // namespace storage::sqlite
