#include "storage/postgres/gate.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>

#include "storage/column_names.h"
#include "storage/postgres/schema.h"
#include "storage/sql_text.h"

namespace storage::pg {

namespace {

using sqltext::Token;

const QString kReadOnly = QStringLiteral("只允许查询，不能修改数据");
const QString kOneStatement = QStringLiteral("只允许执行一条查询语句");
// Planning a text under a LIMIT weighs a fast-start plan for every join order, about three times
// the work with each table more: for a distinct text over ten tables PostgreSQL 15 took 2.6 s
// (90 ms without the LIMIT), over five 13 ms. Texts that scan more tables are read in one step.
constexpr int kMostScansInSteps = 5;

const QSet<QString> kAggregates = {"count",      "sum",       "avg",      "min",     "max",
                                   "string_agg", "array_agg", "bool_and", "bool_or", "every"};

// The functions a select text may call: the text, number, date, aggregate and window functions
// of the system's own texts and of an administrator's queries, and strim. Everything else is
// refused: functions that reveal or change the server's state (set_config, pg_*, current_setting),
// run further queries (query_to_xml), read files, sleep, or build values or rows of any size on
// request (repeat, lpad, generate_series).
bool isAllowedFunction(const QString& name) {
  static const QSet<QString> allowed = {
      // text
      "strim", "id_problem", "year_month_state", "btrim", "trim", "ltrim", "rtrim", "length",
      "char_length", "character_length", "octet_length", "substr", "substring", "upper", "lower",
      "replace", "position", "strpos", "concat", "concat_ws", "left", "right", "reverse", "initcap",
      "split_part", "format", "to_char", "chr", "ascii", "md5", "starts_with",
      // values and numbers
      "abs", "round", "coalesce", "nullif", "greatest", "least", "ceil", "ceiling", "floor",
      "trunc", "mod", "power", "sqrt", "sign", "random", "to_number",
      // dates
      "now", "date_part", "date_trunc", "to_date", "to_timestamp", "age", "make_date",
      // aggregates
      "count", "sum", "avg", "min", "max", "string_agg", "array_agg", "bool_and", "bool_or",
      "every",
      // windows
      "row_number", "rank", "dense_rank", "percent_rank", "cume_dist", "ntile", "lag", "lead",
      "first_value", "last_value", "nth_value"};
  return allowed.contains(name);
}

// What can be refused from the words alone. Escape strings (E'…') are refused because a
// backslash-quote inside one would hide the rest of the text from this reading; `$` would
// start a dollar-quoted string or a parameter of PostgreSQL's own numbering.
Status readWords(const QString& text) {
  const QList<Token> all = sqltext::tokens(text);
  for (qsizetype i = 0; i < all.size(); ++i) {
    if (all[i].kind == Token::Kind::Symbol && text[all[i].begin] == u';')
      for (qsizetype k = i + 1; k < all.size(); ++k)
        if (!(all[k].kind == Token::Kind::Symbol && text[all[k].begin] == u';'))
          return Error{kOneStatement};
  }
  for (qsizetype i = 0; i < all.size(); ++i) {
    const Token& t = all[i];
    if (t.kind != Token::Kind::Word) continue;
    if (t.word.contains(u'$'))
      return Error{QStringLiteral("查询语句有误：不支持 $ 记号（参数请写作 ?）")};
    if (t.word == u"e" && i + 1 < all.size() && all[i + 1].begin == t.end && text[t.end] == u'\'')
      return Error{QStringLiteral("查询语句有误：不支持 E'…' 字符串")};
    static const QSet<QString> writes = {"insert", "update", "delete", "merge", "into", "truncate"};
    if (writes.contains(t.word)) return Error{kReadOnly};
    static const QSet<QString> locks = {"share", "key", "no"};
    if (t.word == u"for" && i + 1 < all.size() && locks.contains(all[i + 1].word))
      return Error{kReadOnly};
  }
  for (const QString& name : sqltext::calledFunctions(text))
    if (!isAllowedFunction(name)) return Error{QStringLiteral("不允许使用函数 %1").arg(name)};
  // Trimming a set of characters takes time in proportion to text × set, and PostgreSQL does
  // not stop it at the time limit: only the one-argument forms are run.
  static const QSet<QString> trims = {"trim", "btrim", "ltrim", "rtrim"};
  for (const QString& name : sqltext::callsWithSeveralArguments(text))
    if (trims.contains(name)) return Error{QStringLiteral("不允许使用带字符集的 %1").arg(name)};
  return ok();
}

// False when two runs of the text in one snapshot may give different rows: a random value, a
// row limit or sample in a subquery, a window or an aggregate whose order the text leaves open.
bool sameInEveryRun(const QString& text) {
  static const QSet<QString> words = {"limit", "offset", "fetch", "tablesample", "over"};
  static const QSet<QString> functions = {"random", "string_agg", "array_agg"};
  for (const Token& t : sqltext::tokens(text))
    if (t.kind == Token::Kind::Word && words.contains(t.word)) return false;
  for (const QString& name : sqltext::calledFunctions(text))
    if (functions.contains(name)) return false;
  return true;
}

// The text up to its first semicolon: what follows holds only semicolons and comments.
QString oneStatement(const QString& text) {
  for (const Token& t : sqltext::tokens(text))
    if (t.kind == Token::Kind::Symbol && text[t.begin] == u';') return text.left(t.begin);
  return text;
}

void collectRelations(const QJsonValue& node, QList<std::pair<QString, QString>>& out) {
  if (node.isArray()) {
    for (const QJsonValue& v : node.toArray()) collectRelations(v, out);
  } else if (node.isObject()) {
    const QJsonObject object = node.toObject();
    if (object.contains(QLatin1StringView("Relation Name")))
      out.append({object.value(QLatin1StringView("Schema")).toString(),
                  object.value(QLatin1StringView("Relation Name")).toString()});
    for (const QJsonValue& v : object) collectRelations(v, out);
  }
}

Result<Rows> describe(Connection& conn, const QByteArray& name) {
  Rows rows(PQdescribePrepared(conn.get(), name.constData()));
  if (PQresultStatus(rows.get()) != PGRES_COMMAND_OK) return Error{conn.failure(rows.get())};
  return rows;
}

// Column names as SQLite gives them, where the text tells them; the engine's elsewhere.
QStringList columnNames(const QString& text, const QStringList& engine) {
  const std::optional<QList<sqltext::SelectItem>> items = sqltext::selectItems(text);
  if (!items) return engine;
  qsizetype stars = 0;
  for (const sqltext::SelectItem& item : *items) stars += item.star;
  const qsizetype starWidth = engine.size() - (items->size() - 1);
  if (stars > 1 || (stars == 0 && items->size() != engine.size()) || starWidth < 0) return engine;
  QStringList names;
  for (const sqltext::SelectItem& item : *items) {
    if (item.star) {
      names << engine.mid(names.size(), starWidth);
    } else {
      names << (item.alias         ? *item.alias
                : item.plainColumn ? engine[names.size()]
                                   : item.expression);
    }
  }
  return names;
}

}  // namespace

Gate& Gate::of(const QString& location) {
  static QMutex mutex;
  static QHash<QString, Gate*> gates;  // kept for the life of the process
  QMutexLocker lock(&mutex);
  Gate*& gate = gates[location];
  if (!gate) gate = new Gate;
  return *gate;
}

Result<std::shared_ptr<const Select>> Gate::check(Connection& reader, const QString& text) {
  {
    QMutexLocker lock(&mutex_);
    if (const auto found = checked_.constFind(text); found != checked_.cend()) return *found;
    if (catalog_.isEmpty())
      if (Status s = loadCatalog(reader); !s) return Error{s.error()};
  }
  Result<Select> checked = checkNew(reader, text);
  if (!checked) return Error{checked.error()};
  auto shared = std::make_shared<const Select>(std::move(*checked));
  QMutexLocker lock(&mutex_);
  if (checked_.size() >= kMostTexts) checked_.clear();
  checked_.insert(text, shared);
  return shared;
}

QString Gate::firstStatement(const QString& text) {
  QMutexLocker lock(&mutex_);
  const std::shared_ptr<const Select> found = checked_.value(text);
  if (!found) return {};
  return found->firstRows.isEmpty() ? found->sql : found->firstRows;
}

Status Gate::loadCatalog(Connection& reader) {
  Result<Rows> rows = reader.run(
      QStringLiteral("SELECT a.attrelid::bigint, a.attnum, c.relname, a.attname FROM pg_attribute a"
                     " JOIN pg_class c ON c.oid = a.attrelid JOIN pg_namespace n ON n.oid ="
                     " c.relnamespace WHERE n.nspname IN ('public', $1) AND a.attnum > 0 AND NOT"
                     " a.attisdropped"),
      Params({kReaderSchema}));
  if (!rows) return Error{rows.error()};
  for (int r = 0; r < PQntuples(rows->get()); ++r) {
    const QString table = value(rows->get(), r, 2).toString();
    if (!schema::storedTable(table)) continue;
    const quint64 key = quint64(value(rows->get(), r, 0).toLongLong()) << 16 |
                        quint64(value(rows->get(), r, 1).toLongLong());
    catalog_.insert(key, {table, value(rows->get(), r, 3).toString()});
  }
  return ok();
}

QList<Gate::Origin> Gate::origins(const PGresult* description) const {
  QList<Origin> out;
  for (int c = 0; c < PQnfields(description); ++c)
    out << catalog_.value(quint64(PQftable(description, c)) << 16 |
                          quint64(PQftablecol(description, c)));
  return out;
}

Result<QStringList> Gate::tablesRead(Connection& reader, const QByteArray& statement, int marks) {
  // The generic plan names every table the text reads, through views and subqueries.
  QStringList nulls(marks, QStringLiteral("NULL"));
  const QString execute =
      QString::fromLatin1(statement) + (marks ? u'(' + nulls.join(u',') + u')' : QString());
  if (Status s = reader.exec(QStringLiteral("SET plan_cache_mode = force_generic_plan")); !s)
    return Error{s.error()};
  Result<Rows> plan =
      reader.run(QStringLiteral("EXPLAIN (VERBOSE, FORMAT JSON) EXECUTE ") + execute);
  if (Status s = reader.exec(QStringLiteral("RESET plan_cache_mode")); !s) return Error{s.error()};
  if (!plan)
    return Error{(reader.lastState() == "42501" ? QStringLiteral("没有权限：%1")
                                                : QStringLiteral("查询语句有误：%1"))
                     .arg(reader.lastMessage())};
  QList<std::pair<QString, QString>> relations;
  collectRelations(QJsonDocument::fromJson(PQgetvalue(plan->get(), 0, 0)).array(), relations);
  QStringList tables;
  for (const auto& [space, name] : relations) {
    if (space != u"public" || !schema::storedTable(name))
      return Error{QStringLiteral("不允许读取 %1").arg(name)};
    tables << name;
  }
  return tables;
}

Result<Select> Gate::checkNew(Connection& reader, const QString& text) {
  const QString keyword = sqltext::firstKeyword(text);
  if (keyword != u"select" && keyword != u"with") return Error{kReadOnly};
  if (Status s = readWords(text); !s) return Error{s.error()};
  const sqltext::NumberedMarks numbered = sqltext::numberMarks(oneStatement(text));

  Select select;
  select.sql = numbered.text;
  select.marks = numbered.count;
  Result<QByteArray> statement = reader.prepared(select.sql, select.marks);
  if (!statement) return Error{QStringLiteral("查询语句有误：%1").arg(reader.lastMessage())};
  Result<Rows> description = describe(reader, *statement);
  if (!description) return Error{description.error()};
  Result<QStringList> scans = tablesRead(reader, *statement, select.marks);
  if (!scans) return Error{scans.error()};
  const QSet<QString> tables(scans->cbegin(), scans->cend());

  const int count = PQnfields(description->get());
  QStringList engine;
  for (int c = 0; c < count; ++c) engine << QString::fromUtf8(PQfname(description->get(), c));
  const QStringList given = columnNames(text, engine);
  const QList<Origin> from = origins(description->get());
  QStringList names;
  for (int c = 0; c < count; ++c)
    if (from[c].column != u"rid") {
      select.shown << c;
      names << given[c];
    }
  select.names = uniqueColumnNames(names);
  addRowIdentities(reader, text, count, from, tables, select);

  if (!sqltext::ordersRows(select.sql)) {
    QStringList all;
    for (int c = 1; c <= (select.rids ? 1 : count); ++c) all << QString::number(c);
    const QString order = QStringLiteral("ORDER BY ") + all.join(u',');
    // The order at the text's own level where it allows one (PostgreSQL then plans a DISTINCT
    // and the order together, with a plan that starts at once for the first rows), else around
    // it. The line break ends a trailing comment.
    const QString sameLevel = select.sql + u'\n' + order;
    if (reader.prepared(sameLevel, select.marks)) {
      // Distinct rows ordered by every column follow one order: no two of them tie.
      const bool totalOrder = !select.rids && sqltext::selectsDistinct(select.sql);
      if (totalOrder && scans->size() <= kMostScansInSteps && sameInEveryRun(text)) {
        select.firstRows = sameLevel + QStringLiteral(" LIMIT %1").arg(Select::kFirstRows);
        select.restRows = sameLevel + QStringLiteral(" OFFSET %1").arg(Select::kFirstRows);
      }
      select.sql = sameLevel;
    } else {
      const QString around =
          QStringLiteral("SELECT * FROM (%1) AS staffinfo_rows ").arg(select.sql);
      if (reader.prepared(around + order, select.marks)) select.sql = around + order;
    }
  }
  return select;
}

void Gate::addRowIdentities(Connection& reader, const QString& text, int statementColumns,
                            const QList<Origin>& columns, const QSet<QString>& tables,
                            Select& select) {
  if (tables.size() != 1 || sqltext::groupsRows(text)) return;
  for (const QString& name : sqltext::calledFunctions(text))
    if (kAggregates.contains(name)) return;
  const schema::Table* table = schema::storedTable(*tables.begin());
  const std::optional<qsizetype> start = sqltext::resultColumnsStart(select.sql);
  if (!table || !start) return;
  int key = -1;  // a statement column
  if (sqltext::selectsDistinct(select.sql)) {
    for (int c : select.shown)
      if (key < 0 && columns[c].table == table->name && !table->uniqueColumn().isEmpty() &&
          columns[c].column == table->uniqueColumn())
        key = c;
    if (key < 0) return;
  }

  const QString spliced = select.sql.left(*start) + u' ' + quoted(table->name) +
                          QStringLiteral(".rid,") + select.sql.mid(*start);
  Result<QByteArray> withRid = reader.prepared(spliced, select.marks);
  if (!withRid) return;
  Result<Rows> description = describe(reader, *withRid);
  if (!description || PQnfields(description->get()) != statementColumns + 1) return;
  const Origin first = origins(description->get()).value(0);
  if (first.table != table->name || first.column != u"rid") return;

  for (qsizetype k = 0; k < select.shown.size(); ++k) {
    const Origin& origin = columns[select.shown[k]];
    if (origin.table == table->name) select.storedColumns.insert(select.names[k], origin.column);
  }
  for (int& column : select.shown) ++column;
  if (key >= 0) select.distinctKey = key + 1;
  select.sql = spliced;
  select.rids = true;
  select.table = table;
}

}  // namespace storage::pg
