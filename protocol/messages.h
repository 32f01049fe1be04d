#pragma once

#include <QCborMap>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <optional>

// The messages of the wire protocol. Every request is a CBOR map with an "op"; every reply a
// map with "ok" and, when ok is false, an "error" text fit to be shown to the user.
//
// A connection starts with `hello`; until `signin` succeeds only `signin` and `bye` are served.
// One request is in flight per connection: the client waits for each reply.
//
// Requests are read by protocol/request_reader.h.
namespace protocol {

inline const QString kServerObject = QStringLiteral("rirev.rirev_qrvt");
// Changes whenever a message changes shape (tests/protocol pins every message's encoding).
//   1: the first wire; 2: apply carries a list of parts, and requests are read strictly;
//   3: review.
inline constexpr int kVersion = 3;

namespace op {
inline const QString kHello = QStringLiteral("hello");
inline const QString kSignIn = QStringLiteral("signin");
inline const QString kOpen = QStringLiteral("open");
inline const QString kApply = QStringLiteral("apply");
inline const QString kDraw = QStringLiteral("draw");
inline const QString kReview = QStringLiteral("review");
inline const QString kBye = QStringLiteral("bye");
}  // namespace op

// Reply keys read and written in more than one place.
namespace key {
inline const QString kOk = QStringLiteral("ok");
inline const QString kError = QStringLiteral("error");
inline const QString kColumns = QStringLiteral("columns");
inline const QString kRows = QStringLiteral("rows");
inline const QString kRids = QStringLiteral("rids");
}  // namespace key

// Field values travel as CBOR null, integer or text; in memory they are a null QVariant,
// qint64 or QString. `withWireValue` calls `use` with what `value` travels as: nullptr, a qint64
// or a QString.
template <typename Use>
auto withWireValue(const QVariant& value, Use&& use) {
  if (value.isNull()) return use(nullptr);
  switch (value.typeId()) {
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
    case QMetaType::ULongLong:
    case QMetaType::Bool:
      return use(qint64(value.toLongLong()));
    default:
      return use(value.toString());
  }
}
QCborValue toCbor(const QVariant& value);
QVariant fromCbor(const QCborValue& value);

QString opOf(const QCborMap& request);
// Bye: the client is leaving; the reply may not be awaited.
QCborMap byeRequest();
QCborMap okReply();
QCborMap errorReply(const QString& reason);
// Null when the reply is ok, else the server's reason.
std::optional<QString> replyError(const QCborMap& reply);

struct Hello {
  QString object = kServerObject;
  int version = kVersion;
  QCborMap toCbor() const;
};

// Sign-in: the identity number and password as typed; the server trims both and applies the
// login rules (first account in stored order whose trimmed id matches).
struct SignInRequest {
  QString id;
  QString password;
  QCborMap toCbor() const;
};

enum class SignInOutcome { SignedIn, NoSuchAccount, WrongPassword, NoValidRole };

struct SignInReply {
  SignInOutcome outcome = SignInOutcome::NoSuchAccount;
  int role = -1;  // set when signed in
  QCborMap toCbor() const;
  static SignInReply fromCbor(const QCborMap& m);
};

// What a dataset reads: a provider with its own query, or a command-text provider with a select
// text and the values for its `?` marks. `personKey`, for a table provider, limits the rows to
// those whose trimmed `id` equals it (in stored order), which is what the record pages look for.
struct OpenRequest {
  QString provider;
  QString text;
  QVariantList params;
  std::optional<QString> personKey;
  QCborMap toCbor() const;
};

// The rows of an open: column names as the query gave them (a repeated name gets `_1`, `_2` …
// appended), the values, and a hidden row identity per row when the rows can be written back
// (empty when they cannot, as for a join). On the wire an open reply is written and read as a
// stream (protocol/packet_stream.h): a map of "ok", "columns", "rows" and "rids".
struct Packet {
  QStringList columns;
  QList<QVariantList> rows;
  QList<qint64> rids;
};

// One posted change. Column names are those of the packet. An update carries only the columns
// whose value changed; update and delete carry the row as it was read, which the server compares
// with the stored row before it writes.
struct Change {
  enum class Kind { Insert, Update, Delete };
  // The kinds as the wire names them, in the order of Kind.
  static constexpr const char* kKindNames[] = {"insert", "update", "delete"};
  Kind kind = Kind::Insert;
  qint64 rid = 0;
  QVariantMap original;
  QVariantMap values;
  QCborMap toCbor() const;
};

// One dataset's share of an apply: its source (so the server knows the target table and the
// column names) and its changes.
struct ApplyPart {
  OpenRequest source;
  QList<Change> changes;
};

// Apply: the changes of one or more datasets, written in one transaction, all or nothing.
struct ApplyRequest {
  QList<ApplyPart> parts;
  QCborMap toCbor() const;
};

// The row identities given to the inserted rows: part by part, in the order of the inserts.
struct ApplyReply {
  QList<qint64> insertedRids;
  QCborMap toCbor() const;
  static ApplyReply fromCbor(const QCborMap& m);
};

// Draws the next `id_num` of a history table from the counter row, atomically.
struct DrawRequest {
  QString table;
  QCborMap toCbor() const;
};

struct DrawReply {
  qint64 value = 0;
  QCborMap toCbor() const;
  static DrawReply fromCbor(const QCborMap& m);
};

// Review: the signed-in administrator marks a person's record as reviewed (the account's
// reviewer, and an event in the change log), even when they reviewed it last time too.
struct ReviewRequest {
  QString person;
  QCborMap toCbor() const;
};

// Whether there was an account to mark: a person without one is not reviewed.
struct ReviewReply {
  bool reviewed = false;
  QCborMap toCbor() const;
  static ReviewReply fromCbor(const QCborMap& m);
};

}  // namespace protocol
