#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QHash>
#include <QList>
#include <QString>
#include <QVariant>
#include <functional>
#include <memory>
#include <optional>
#include <utility>

#include "protocol/messages.h"
#include "schema/tables.h"
#include "storage/result.h"
#include "storage/schema_versions.h"

// The one door to the database, kept by every engine (storage/sqlite, storage/postgres) and
// opened through openStorage (storage/open.h). An instance is used by one thread at a time.
// Table and column names always come from the schema; every value is bound, never spliced into
// SQL text.
namespace storage {

// The longest a write transaction waits for its turn: below the client's 60 s wait for a reply,
// with time left for the write itself.
inline constexpr int kWriteTurnWaitMs = 40000;

// A select text as the storage understands it, for writing its rows back.
struct SelectShape {
  // The one table the text reads, when its rows carry row identities; else nullptr (a join, a
  // grouping, or a text whose rows stand for no single stored row).
  const schema::Table* table = nullptr;
  // Packet column name → stored column of `table`, for the columns that are plain columns of it.
  QHash<QString, QString> storedColumns;
};

using ColumnValues = QList<std::pair<QString, QVariant>>;

// The value given for `column`, or nullptr.
const QVariant* valueOf(const ColumnValues& columns, QStringView column);
// The values alone, in order.
QVariantList valuesOf(const ColumnValues& columns);
// Refuses a column the table does not have.
Status knownColumns(const schema::Table& table, const ColumnValues& columns);

// How every storage reads a table: `rid`, then every stored column (a password as NULL), in
// rid order; with `personCondition`, only the rows it selects. `shown` holds the positions of
// the table's columns in the result.
struct TableRead {
  QString sql;
  QList<int> shown;
};
TableRead tableRead(const schema::Table& table, const QString& personCondition = {});

// How every storage creates a table: `rid` as `ridDefinition`, then every column, integers as
// `integer` and the others as `text`, and the table's unique column.
QString createTableText(const schema::Table& table, const QString& ridDefinition,
                        const QString& integer, const QString& text);
// Inserts the counter row, all zeros, when the counter table has none.
QString counterRowText();

// One row change in stored column names, ready to be written.
struct RowWrite {
  protocol::Change::Kind kind = protocol::Change::Kind::Insert;
  qint64 rid = 0;         // the row read, for update and delete
  ColumnValues expected;  // stored values as read; the row must still hold them
  ColumnValues values;    // values to write (passwords already hashed)
};

// The rows to write to one table.
struct TableWrite {
  const schema::Table* table = nullptr;
  QList<RowWrite> rows;
};

// A check run inside an apply's transaction before each row is written, where it sees the rows
// as stored at that moment (earlier rows of the same apply already written). `stored` holds the
// row an update or delete addresses, every column but the password; it is empty for an insert.
// A failed status refuses the whole apply.
using RowCheck = std::function<Status(const schema::Table& table, const RowWrite& row,
                                      const ColumnValues& stored)>;

// Who writes, and what each row must pass.
struct Applier {
  QString actor;                 // recorded in the change log as who changed the values
  std::optional<QString> owner;  // every updated or deleted row must be this person's
  RowCheck check;                // none: no further check
};

struct Account {
  QByteArray passwordHash;  // empty when none is stored
  QVariant role;            // `qx` as stored
};

// Receives a read's rows as the storage steps through them, so that they go straight into the
// reply without being held: the columns once, then per row its identity (when the rows carry
// identities), its values in column order (null, integer or UTF-8 text; other kinds as text),
// and its end.
class RowSink {
 public:
  virtual ~RowSink() = default;
  virtual void begin(const QStringList& columns, bool rids) = 0;
  virtual void rowIdentity(qint64 rid) = 0;
  virtual void null() = 0;
  virtual void integer(qint64 value) = 0;
  virtual void text(QByteArrayView utf8) = 0;
  // A failure ends the read with its reason (the reply grew too large or could not be sent).
  virtual Status endRow() = 0;
  // Between rows: the rows so far go out now rather than with a later batch, because the next
  // ones come only after a wait.
  virtual void sendNow() {}
};

// Collects a read's rows as a packet, for the server's own small reads.
class PacketSink final : public RowSink {
 public:
  void begin(const QStringList& columns, bool) override { packet.columns = columns; }
  void rowIdentity(qint64 rid) override { packet.rids << rid; }
  void null() override { row_ << QVariant(); }
  void integer(qint64 value) override { row_ << QVariant(value); }
  void text(QByteArrayView utf8) override { row_ << QVariant(QString::fromUtf8(utf8)); }
  Status endRow() override {
    packet.rows << std::exchange(row_, {});
    return ok();
  }

  protocol::Packet packet;

 private:
  QVariantList row_;
};

class Storage {
 public:
  virtual ~Storage() = default;

  // Creates the schema when the database has none, at the current version (schema_versions.h):
  // every table, its indexes, the counter row. A database that has tables keeps its version (an
  // upgrade brings it up to date). Idempotent.
  virtual Status ensureSchema() = 0;

  // The schema version the database records; 0 when it records none.
  virtual Result<int> schemaVersion() = 0;
  // Runs the steps' statements for this engine, in order, and records the last one's version,
  // all in one transaction: the database has every step or none.
  virtual Status upgrade(const QList<const SchemaStep*>& steps) = 0;
  // Leaves the database whole in its own files (SQLite: the write-ahead log checkpointed into
  // the database file); called when the server stops.
  virtual Status checkpoint() = 0;

  // All rows of `table` in stored order, columns in schema order, with row identities, into
  // `rows`. With `personKey`, only the rows whose trimmed `id` equals it. `user_name.password`
  // reads as null.
  virtual Status readTable(const schema::Table& table, const std::optional<QString>& personKey,
                           RowSink& rows) = 0;

  // Runs a client's select text with `params` bound to its `?` marks, into `rows`. Refuses
  // anything but one read-only SELECT; password hashes read as null. Rows carry identities
  // when the text has a single target table (see SelectShape).
  virtual Status select(const QString& text, const QVariantList& params, RowSink& rows) = 0;

  // Where the columns of a select text's packet are stored, passing the same checks as select.
  virtual Result<SelectShape> describe(const QString& text) = 0;

  // Writes every table's rows, in order, in one transaction: all or nothing. An update or
  // delete fails when its row is gone or no longer holds the expected values; with an owner,
  // also when the stored row's trimmed `id` is not the owner; with a check, also when the check
  // refuses the row. An insert into a one-row table (or the accounts), or an update that moves
  // a row to another `id`, fails when that person already has a row there. A history row's
  // `id_num` must be one the counter has issued; the counter itself is written only by draw(),
  // and the change log only by apply itself: every change to a staff table or an account is
  // recorded there in the same transaction (see apply_rows.h). Returns the identities of the
  // inserted rows, in order.
  virtual Result<QList<qint64>> apply(const QList<TableWrite>& writes, const Applier& applier) = 0;

  // The number of rows of `table` whose `column` equals `value`. Called from a RowCheck, it
  // counts inside the apply's transaction.
  virtual Result<qint64> countRows(const schema::Table& table, const QString& column,
                                   const QVariant& value) = 0;

  // The first account in stored order whose trimmed `id` equals `id`, or nothing.
  virtual Result<std::optional<Account>> findAccount(const QString& id) = 0;

  // Issues the next `id_num` of a history table: one more than both the counter and the
  // largest stored `id_num`, recorded in the counter, in one transaction.
  virtual Result<qint64> draw(const schema::Table& history) = 0;
};

// How a storage may use memory for its reads.
struct StorageOptions {
  // Page cache of each connection's read handle, in MiB.
  int cacheMiB = 16;
  // The part of the database file each read handle maps into memory, in MiB; the mapping is
  // shared between connections through the system's file cache. 0: no mapping.
  int mmapMiB = 4096;
  // Connections of each kind (reader, writer) a server process holds open to PostgreSQL.
  int pgConnections = 16;
};

// The time a change is recorded at in the change log: the server's local time, to the second.
QString changeTime();

// The temporary files one query may write (sorting, grouping), on every storage of the
// process: beyond it the query is refused with a message. Set once, before storages open.
qint64 queryTempBytes();
void setQueryTempBytes(qint64 bytes);
QString tempLimitMessage();

}  // namespace storage
