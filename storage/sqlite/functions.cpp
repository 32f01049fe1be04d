#include "storage/sqlite/functions.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QtGlobal>
#include <cstring>
#include <string_view>
#include <unordered_set>

#include "schema/quality.h"
#include "schema/values.h"

namespace storage::sqlite {

namespace {

using Bytes = std::string_view;

Bytes textOf(sqlite3_value* value) {
  const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(value));
  return text ? Bytes(text, size_t(sqlite3_value_bytes(value))) : Bytes();
}

Bytes blobOf(sqlite3_value* value) {
  const auto* blob = static_cast<const char*>(sqlite3_value_blob(value));
  return blob ? Bytes(blob, size_t(sqlite3_value_bytes(value))) : Bytes();
}

bool anyNull(int argc, sqlite3_value** argv) {
  for (int i = 0; i < argc; ++i)
    if (sqlite3_value_type(argv[i]) == SQLITE_NULL) return true;
  return false;
}

// The bytes of one UTF-8 character starting at `at` (1 for a stray continuation byte).
size_t charBytes(Bytes text, size_t at) {
  size_t n = 1;
  while (at + n < text.size() && (quint8(text[at + n]) & 0xc0) == 0x80) ++n;
  return n;
}

// Where `needle` first occurs in `haystack`, or npos; linear (glibc's two-way search).
size_t find(Bytes haystack, Bytes needle, size_t from = 0) {
  if (needle.empty()) return from;
  if (from > haystack.size()) return Bytes::npos;
  const void* hit =
      memmem(haystack.data() + from, haystack.size() - from, needle.data(), needle.size());
  return hit ? size_t(static_cast<const char*>(hit) - haystack.data()) : Bytes::npos;
}

// strim(X)
void strim(sqlite3_context* context, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return sqlite3_result_null(context);
  const Bytes text = textOf(argv[0]);
  // Bytes up to 32 are single characters in UTF-8, so untouched ends need no decoding.
  if (text.empty() || (quint8(text.front()) > 32 && quint8(text.back()) > 32))
    return sqlite3_result_text(context, text.data(), int(text.size()), SQLITE_TRANSIENT);
  const QByteArray trimmed =
      schema::trim(QString::fromUtf8(text.data(), qsizetype(text.size()))).toUtf8();
  sqlite3_result_text(context, trimmed.constData(), int(trimmed.size()), SQLITE_TRANSIENT);
}

// instr(X,Y): the 1-based position of the first Y in X, in characters (in bytes when both are
// blobs); 0 when there is none.
void instr(sqlite3_context* context, int argc, sqlite3_value** argv) {
  if (anyNull(argc, argv)) return sqlite3_result_null(context);
  const bool blobs =
      sqlite3_value_type(argv[0]) == SQLITE_BLOB && sqlite3_value_type(argv[1]) == SQLITE_BLOB;
  const Bytes haystack = blobs ? blobOf(argv[0]) : textOf(argv[0]);
  const Bytes needle = blobs ? blobOf(argv[1]) : textOf(argv[1]);
  const size_t at = find(haystack, needle);
  if (at == Bytes::npos) return sqlite3_result_int64(context, 0);
  if (blobs) return sqlite3_result_int64(context, sqlite3_int64(at) + 1);
  sqlite3_int64 chars = 1;
  for (size_t i = 0; i < at; ++i)
    if ((quint8(haystack[i]) & 0xc0) != 0x80) ++chars;
  sqlite3_result_int64(context, chars);
}

// replace(X,Y,Z): X with every Y replaced by Z; X itself when Y is empty.
void replace(sqlite3_context* context, int argc, sqlite3_value** argv) {
  if (anyNull(2, argv)) return sqlite3_result_null(context);
  const Bytes text = textOf(argv[0]);
  const Bytes pattern = textOf(argv[1]);
  if (pattern.empty()) return sqlite3_result_value(context, argv[0]);
  if (anyNull(argc, argv)) return sqlite3_result_null(context);
  const Bytes with = textOf(argv[2]);
  const qint64 most = sqlite3_limit(sqlite3_context_db_handle(context), SQLITE_LIMIT_LENGTH, -1);
  std::string out;
  size_t from = 0;
  for (size_t at; (at = find(text, pattern, from)) != Bytes::npos; from = at + pattern.size()) {
    out.append(text.substr(from, at - from)).append(with);
    if (qint64(out.size()) > most) return sqlite3_result_error_toobig(context);
  }
  out.append(text.substr(from));
  if (qint64(out.size()) > most) return sqlite3_result_error_toobig(context);
  sqlite3_result_text(context, out.data(), int(out.size()), SQLITE_TRANSIENT);
}

// trim(X,Y), ltrim(X,Y), rtrim(X,Y): X without the characters of Y at its start, its end or
// both. `sqlite3_user_data` says which ends.
enum Ends { kLeft = 1, kRight = 2 };

void trim(sqlite3_context* context, int argc, sqlite3_value** argv) {
  if (anyNull(argc, argv)) return sqlite3_result_null(context);
  const Bytes text = textOf(argv[0]);
  const Bytes set = textOf(argv[1]);
  std::unordered_set<Bytes> characters;
  for (size_t i = 0; i < set.size();) {
    const size_t n = charBytes(set, i);
    characters.insert(set.substr(i, n));
    i += n;
  }
  const int ends = int(reinterpret_cast<quintptr>(sqlite3_user_data(context)));
  size_t begin = 0;
  size_t end = text.size();
  if (ends & kLeft)
    while (begin < end) {
      const size_t n = charBytes(text, begin);
      if (!characters.contains(text.substr(begin, n))) break;
      begin += n;
    }
  if (ends & kRight)
    while (end > begin) {
      size_t start = end - 1;
      while (start > begin && (quint8(text[start]) & 0xc0) == 0x80) --start;
      if (!characters.contains(text.substr(start, end - start))) break;
      end = start;
    }
  sqlite3_result_text(context, text.data() + begin, int(end - begin), SQLITE_TRANSIENT);
}

QString qtextOf(sqlite3_value* value) {
  const Bytes text = textOf(value);
  return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

void resultText(sqlite3_context* context, const QString& text) {
  const QByteArray utf8 = text.toUtf8();
  sqlite3_result_text(context, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
}

// Today's date for the quality functions, taken again each second: QDate::currentDate() converts
// the clock to local time (microseconds, many times the rest of a call), and a list calls them
// for every value of a column.
QDate today() {
  thread_local QDate date;
  thread_local qint64 second = -1;
  const qint64 now = QDateTime::currentSecsSinceEpoch();
  if (now != second) {
    date = QDate::currentDate();
    second = now;
  }
  return date;
}

// id_problem(X): what is wrong with the identity number X (schema::identityProblem), or null.
void idProblem(sqlite3_context* context, int, sqlite3_value** argv) {
  const QString problem = schema::identityProblem(qtextOf(argv[0]), today());
  if (problem.isEmpty()) return sqlite3_result_null(context);
  resultText(context, problem);
}

// year_month_state(X): ok, empty, invalid or future (schema::yearMonthState).
void yearMonthState(sqlite3_context* context, int, sqlite3_value** argv) {
  resultText(context,
             schema::yearMonthStateName(schema::yearMonthState(qtextOf(argv[0]), today())));
}

// Functions of today's date are not deterministic.
enum Flags { kDeterministic = SQLITE_DETERMINISTIC, kToday = 0 };

void add(sqlite3* db, const char* name, int argc,
         void (*function)(sqlite3_context*, int, sqlite3_value**), quintptr data = 0,
         int flags = kDeterministic) {
  sqlite3_create_function_v2(db, name, argc, SQLITE_UTF8 | SQLITE_INNOCUOUS | flags,
                             reinterpret_cast<void*>(data), function, nullptr, nullptr, nullptr);
}

}  // namespace

void registerFunctions(sqlite3* db) {
  add(db, "strim", 1, strim);
  add(db, "instr", 2, instr);
  add(db, "replace", 3, replace);
  add(db, "trim", 2, trim, kLeft | kRight);
  add(db, "ltrim", 2, trim, kLeft);
  add(db, "rtrim", 2, trim, kRight);
  add(db, "id_problem", 1, idProblem, 0, kToday);
  add(db, "year_month_state", 1, yearMonthState, 0, kToday);
}

}  // namespace storage::sqlite
