#include "storage/sqlite/gate.h"

#include <QScopeGuard>
#include <QSemaphore>
#include <QThread>

#include "storage/column_names.h"
#include "storage/sql_text.h"

namespace storage::sqlite {

namespace {

constexpr qint64 kTimeLimitMs = 50000;  // below the client's 60 s wait for a reply
// A run going past this much time is a long one: it needs a long-query turn to go on.
constexpr qint64 kLongAfterMs = 2000;

const QString kReadOnly = QStringLiteral("只允许查询，不能修改数据");
const QString kOneStatement = QStringLiteral("只允许执行一条查询语句");

bool sameName(const char* name, QLatin1StringView expected) {
  return name && QLatin1StringView(name).compare(expected, Qt::CaseInsensitive) == 0;
}

// Aggregate functions make one result row out of many stored rows.
bool isAggregate(const char* function) {
  static const char* const names[] = {"count",
                                      "sum",
                                      "total",
                                      "avg",
                                      "min",
                                      "max",
                                      "group_concat",
                                      "string_agg",
                                      "json_group_array",
                                      "json_group_object"};
  for (const char* name : names)
    if (sameName(function, QLatin1StringView(name))) return true;
  return false;
}

// The SQL functions a select text may call: the scalar, aggregate, window, date and string
// functions of the system's own texts and of an administrator's ad-hoc queries, and strim.
// Everything else is refused: functions that reveal or touch the process or the file
// (fts3_tokenizer, load_extension, sqlite_*), build large values on request (zeroblob,
// randomblob, printf and format with a width), or read other structures (json, the rest).
bool isAllowedFunction(const char* function) {
  static const QSet<QByteArray> allowed = [] {
    QSet<QByteArray> names;
    for (const char* name :
         {// text
          "strim", "id_problem", "year_month_state", "trim", "ltrim", "rtrim", "length",
          "octet_length", "substr", "substring", "upper", "lower", "replace", "instr", "like",
          "glob", "concat", "concat_ws", "char", "unicode", "hex", "quote", "soundex",
          // values and numbers
          "abs", "round", "coalesce", "ifnull", "nullif", "iif", "typeof", "min", "max", "sign",
          "random", "likely", "unlikely", "likelihood", "ceil", "ceiling", "floor", "trunc", "mod",
          "pow", "power", "sqrt",
          // dates
          "date", "time", "datetime", "julianday", "unixepoch", "strftime", "timediff",
          // aggregates
          "count", "sum", "total", "avg", "group_concat", "string_agg",
          // windows
          "row_number", "rank", "dense_rank", "percent_rank", "cume_dist", "ntile", "lag", "lead",
          "first_value", "last_value", "nth_value"})
      names.insert(QByteArray(name));
    return names;
  }();
  return function && allowed.contains(QByteArray(function).toLower());
}

// A run past kLongAfterMs holds one of these until it ends, so long queries from any number
// of sessions together keep a core free for everyone else.
QSemaphore& longQueryTurns() {
  static QSemaphore turns(qMax(1, QThread::idealThreadCount() - 1));
  return turns;
}

QString originTable(sqlite3_stmt* statement, int column) {
  return QString::fromUtf8(sqlite3_column_table_name(statement, column));
}

bool isRowIdentity(sqlite3_stmt* statement, int column) {
  return sqlite3_column_table_name(statement, column) &&
         sameName(sqlite3_column_origin_name(statement, column), QLatin1StringView("rid"));
}

}  // namespace

SelectGate::SelectGate(Handle& readOnly) : db_(readOnly) {
  sqlite3_set_authorizer(db_.get(), authorize, this);
  sqlite3_progress_handler(db_.get(), 1000, progress, this);
}

SelectGate::~SelectGate() {
  sqlite3_set_authorizer(db_.get(), nullptr, nullptr);
  sqlite3_progress_handler(db_.get(), 0, nullptr, nullptr);
}

int SelectGate::authorize(void* self, int action, const char* first, const char* second,
                          const char*, const char*) {
  auto* gate = static_cast<SelectGate*>(self);
  switch (action) {
    case SQLITE_SELECT:
    case SQLITE_RECURSIVE:
      return SQLITE_OK;
    case SQLITE_READ:
      // Only the system's own tables: not the schema table, virtual tables or pragmas.
      if (!schema::storedTable(QString::fromUtf8(first))) {
        gate->denied_ = QStringLiteral("不允许读取 %1").arg(QString::fromUtf8(first));
        return SQLITE_DENY;
      }
      gate->tablesRead_.insert(QString::fromUtf8(first));
      return gate->blankPasswords_ && sameName(first, QLatin1StringView("user_name")) &&
                     sameName(second, QLatin1StringView("password"))
                 ? SQLITE_IGNORE
                 : SQLITE_OK;
    case SQLITE_FUNCTION:
      if (!isAllowedFunction(second)) {
        gate->denied_ = QStringLiteral("不允许使用函数 %1").arg(QString::fromUtf8(second));
        return SQLITE_DENY;
      }
      if (isAggregate(second)) gate->aggregates_ = true;
      return SQLITE_OK;
    default:
      // A select that writes the schema table is setting up a virtual table (a pragma, json or
      // statistics table) for itself.
      if (gate->denied_.isEmpty())
        gate->denied_ = sameName(first, QLatin1StringView("sqlite_master"))
                            ? QStringLiteral("不允许读取系统表或虚拟表")
                            : kReadOnly;
      return SQLITE_DENY;
  }
}

int SelectGate::progress(void* self) {
  auto* gate = static_cast<SelectGate*>(self);
  if (gate->deadline_.hasExpired()) return 1;
  if (gate->running_ && !gate->longTurn_ && gate->started_.hasExpired(kLongAfterMs)) {
    // Waiting for the turn uses no core; the time limit counts on while it waits.
    const qint64 left = gate->deadline_.remainingTime();
    if (!longQueryTurns().tryAcquire(1, int(qMax<qint64>(left, 0)))) return 1;
    gate->longTurn_ = true;
  }
  return 0;
}

SelectGate::Run SelectGate::startClock() {
  deadline_ = QDeadlineTimer(kTimeLimitMs);
  started_.start();
  running_ = true;
  return Run(*this);
}

SelectGate::Run::~Run() {
  if (!gate_) return;
  gate_->running_ = false;
  if (std::exchange(gate_->longTurn_, false)) longQueryTurns().release();
}

Result<Statement> SelectGate::prepareOne(const QString& text) {
  const QByteArray utf8 = text.toUtf8();
  const char* end = utf8.constData() + utf8.size();
  denied_.clear();
  sqlite3_stmt* raw = nullptr;
  const char* tail = nullptr;
  const int rc = sqlite3_prepare_v2(db_.get(), utf8.constData(), int(utf8.size()), &raw, &tail);
  Statement statement(raw);
  if (rc != SQLITE_OK)
    return Error{!denied_.isEmpty() ? denied_
                                    : QStringLiteral("查询语句有误：%1").arg(db_.failure())};
  if (!statement) return Error{QStringLiteral("查询语句为空")};
  // What follows may hold only blanks, semicolons and comments.
  while (tail && tail < end) {
    sqlite3_stmt* extra = nullptr;
    const char* next = nullptr;
    const int more = sqlite3_prepare_v2(db_.get(), tail, int(end - tail), &extra, &next);
    sqlite3_finalize(extra);
    if (more != SQLITE_OK || extra) return Error{kOneStatement};
    if (!next || next <= tail) break;
    tail = next;
  }
  return statement;
}

Result<CheckedSelect> SelectGate::check(const QString& text, Use use) {
  const QString keyword = sqltext::firstKeyword(text);
  if (keyword != u"select" && keyword != u"with") return Error{kReadOnly};
  tablesRead_.clear();
  aggregates_ = false;
  blankPasswords_ = use == Use::Run;
  const auto restore = qScopeGuard([this] { blankPasswords_ = true; });
  Result<Statement> prepared = prepareOne(text);
  if (!prepared) return Error{prepared.error()};
  if (!sqlite3_stmt_readonly(prepared->get())) return Error{kReadOnly};

  CheckedSelect checked;
  checked.statement = std::move(*prepared);
  QStringList names;
  for (int i = 0; i < checked.statement.columnCount(); ++i) {
    if (isRowIdentity(checked.statement.get(), i)) continue;
    checked.shown << i;
    names << QString::fromUtf8(sqlite3_column_name(checked.statement.get(), i));
  }
  checked.names = uniqueColumnNames(names);
  addRowIdentities(text, checked);
  if (use == Use::Describe) checked.statement = Statement();
  return checked;
}

void SelectGate::addRowIdentities(const QString& text, CheckedSelect& checked) {
  if (tablesRead_.size() != 1 || aggregates_ || sqltext::groupsRows(text)) return;
  const schema::Table* table = schema::storedTable(*tablesRead_.begin());
  const std::optional<qsizetype> start = sqltext::resultColumnsStart(text);
  if (!table || !start) return;
  // Every stored row is its own distinct row when the result holds the table's unique column;
  // without it, a distinct row may stand for several stored rows and gets no identity.
  qsizetype key = -1;
  if (sqltext::selectsDistinct(text)) {
    for (qsizetype k = 0; k < checked.shown.size() && key < 0; ++k) {
      const int column = checked.shown[k];
      if (originTable(checked.statement.get(), column) == table->name &&
          !table->uniqueColumn().isEmpty() &&
          table->uniqueColumn() ==
              QString::fromUtf8(sqlite3_column_origin_name(checked.statement.get(), column)))
        key = k;
    }
    if (key < 0) return;
  }

  const QString spliced =
      text.left(*start) + u' ' + quoted(table->name) + QStringLiteral(".rid,") + text.mid(*start);
  Result<Statement> withRid = prepareOne(spliced);
  if (!withRid || withRid->columnCount() != checked.statement.columnCount() + 1 ||
      !isRowIdentity(withRid->get(), 0) || originTable(withRid->get(), 0) != table->name)
    return;

  for (int k = 0; k < checked.shown.size(); ++k) {
    const int column = checked.shown[k];
    if (originTable(checked.statement.get(), column) == table->name)
      checked.storedColumns.insert(checked.names[k], QString::fromUtf8(sqlite3_column_origin_name(
                                                         checked.statement.get(), column)));
  }
  for (int& column : checked.shown) ++column;
  if (key >= 0) checked.distinctKey = checked.shown[key];
  checked.statement = std::move(*withRid);
  checked.rids = true;
  checked.table = table;
}

}  // namespace storage::sqlite
