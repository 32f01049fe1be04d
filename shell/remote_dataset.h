#pragma once

#include <QObject>
#include <QStringList>
#include <QVariant>
#include <memory>
#include <optional>
#include <vector>

#include "protocol/messages.h"
#include "protocol/packet_stream.h"

class Connection;

// A client-side table bound to one provider of the application server. `open` fetches every
// row at once; navigation, edits, appends and deletes change the local copy only, until
// `applyUpdates` sends the posted changes, all or nothing. Remote failures and refusals are
// thrown as RemoteError.
//
// Cursor rules the forms rely on: after `next` passes the last row `eof()` is true and the last
// row stays current; on an empty result `eof()` is true at once and every field reads null.
//
// Rows as read are kept compactly (protocol::ValueStore); only a row being changed holds its
// values as QVariants, until the change is applied or dropped.
class RemoteDataset : public QObject {
  Q_OBJECT

 public:
  enum class State { Inactive, Browse, Edit, Insert };

  explicit RemoteDataset(QString provider, QObject* parent = nullptr);
  RemoteDataset(QString provider, Connection& connection, QObject* parent = nullptr);

  const QString& provider() const { return source_.provider; }

  // The select text for a command-text provider; `?` marks take `params` in order.
  void setCommandText(const QString& text, const QVariantList& params = {});
  const QString& commandText() const { return source_.text; }
  // For a table provider: read only the rows whose trimmed `id` equals `key`, in stored order.
  void setPersonKey(std::optional<QString> key);

  void open();
  // Opens as open() does, but returns once the first rows are read; the others follow while
  // the event loop runs (rowsAppended), until loaded(). The rows read so far can be shown and
  // read meanwhile; any other request on the connection first reads the rest.
  void openInBatches();
  bool loading() const { return loading_; }
  // Reads the rest of an openInBatches() now, waiting for it; throws when the rows could not
  // all be read.
  void finishLoading();
  // Drops the rows and every unapplied change. Closing a closed dataset does nothing.
  void close();
  // Re-runs the same query; unapplied changes are dropped.
  void refresh();
  bool active() const { return state_ != State::Inactive; }
  State state() const { return state_; }

  // Navigation. Each one posts a pending edit or insert first.
  void first();
  void next();
  void prior();
  void last();
  void moveTo(int row);
  bool eof() const { return eof_; }
  bool bof() const { return bof_; }
  int recordCount() const { return int(rows_.size()); }
  // Index of the current row, -1 when there is none.
  int recNo() const { return current_; }

  const QStringList& fieldNames() const { return data_.columns; }
  int fieldIndex(QStringView name) const;
  // The current row's value; null when there is no current row. Throws for an unknown field.
  QVariant field(QStringView name) const;
  // The same, as text: null reads as the empty text.
  QString fieldText(QStringView name) const;
  QVariant value(int row, int column) const;
  // The value as UTF-8 text, null as the empty text: for a row as read, a view of the stored
  // bytes, so that a long result is written out without a string per value; else the text is
  // made in `scratch`, which the view then shows.
  QByteArrayView utf8(int row, int column, QByteArray& scratch) const;
  // The first row from `from` on whose value in `column`, trimmed, is `text`; -1 when none. It
  // compares the stored bytes, so a search of a long list makes no strings.
  int locate(int column, const QString& text, int from = 0) const;

  // Local changes.
  void edit();
  void append();
  // Inserts a new row before the current one.
  void insert();
  // Sets a field of the row being edited or inserted.
  void setField(QStringView name, const QVariant& value);
  void setValue(int column, const QVariant& value);
  void post();
  void cancel();
  // Deletes the current row ("delete" in the forms' words).
  void remove();
  // Number of posted changes not yet applied.
  int pendingChanges() const;

  // Sends every posted change to the server in one call. On refusal nothing is written, the
  // changes stay pending, and RemoteError carries the server's reason.
  void applyUpdates();
  // Drops every change not yet applied: the rows are again as read (or as last applied), in
  // their order.
  void cancelUpdates();

  // Removes `count` rows from `first` from the local copy only, as if they had not been read:
  // nothing is deleted on the server. Pending changes elsewhere stay.
  void discardRows(int first, int count);
  // Inserts every row of `from` (an open dataset with the same columns) before row `at`, as
  // read. With discardRows, a list follows one changed person without reading all again.
  void insertRows(int at, const RemoteDataset& from);
  // Puts the rows of `from` (an open dataset with the same columns) as read in the place of as
  // many rows from `first`, which must not hold changes not yet applied.
  void replaceRows(int first, const RemoteDataset& from);

 signals:
  // The rows were replaced (open, close, refresh).
  void reset();
  void rowChanged(int row);
  void rowInserted(int row);
  void rowRemoved(int row);
  // Rows read by openInBatches() after it returned.
  void rowsAppended(int first, int last);
  // Every row of openInBatches() has come; `error` says why not, when they have not.
  void loaded(const QString& error);
  void currentChanged(int row);

 private:
  friend void applyTogether(const QList<RemoteDataset*>& datasets);

  enum class Status : quint8 { Unchanged, Modified, Inserted };
  struct Row {
    qint64 rid = 0;
    qint32 stored = -1;  // row of data_.values as read (or last applied); -1 for a new row
    qint32 order = 0;    // position as read (or as last applied), to undo local changes
    Status status = Status::Unchanged;
    std::unique_ptr<QVariantList> edits;  // the values while the row is being changed
  };

  void requireEditing(const char* operation) const;
  void requireActive() const;
  void setCurrent(int row);
  void load(protocol::CompactPacket packet);
  // Once every row is in: the rows keep their identities, and the room for growth goes back.
  void settle();
  // Rows for the values read since the last call.
  void adoptArrivedRows();
  void insertRowAt(int row);
  QVariant valueOf(const Row& row, int column) const;
  QVariant originalOf(const Row& row, int column) const;
  QVariantList valuesOf(const Row& row) const;
  QVariantMap originalMap(const Row& row) const;
  // This dataset's share of an apply, empty when nothing is pending.
  protocol::ApplyPart pendingPart() const;
  // After a successful apply: the changes are the rows as read; inserts take `rids` in order.
  void markApplied(QList<qint64>::const_iterator& rids);

  Connection& connection_;
  protocol::OpenRequest source_;
  State state_ = State::Inactive;
  protocol::CompactPacket data_;  // columns and rows as read; rids only while reading
  std::vector<Row> rows_;
  std::vector<Row> deleted_;  // stored rows deleted locally, not yet applied
  QVariantList editBuffer_;   // the row as it was when `edit` began
  int current_ = -1;
  bool loading_ = false;
  QString loadError_;  // why the last openInBatches() did not read every row
  bool eof_ = true;
  bool bof_ = true;
};

// Sends the posted changes of several datasets (all on one connection) in one apply: one
// transaction, all or nothing. On refusal nothing is written, every change stays pending, and
// RemoteError carries the server's reason.
void applyTogether(const QList<RemoteDataset*>& datasets);
