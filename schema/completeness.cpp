#include "schema/completeness.h"

#include <QStringList>

#include "schema/tables.h"
#include "schema/values.h"

namespace schema::completeness {

namespace {

// The periods of the history tables: a row whose end comes before its start is a mistake.
struct Period {
  QString table;
  QString start;
  QString end;
};

const QList<Period>& periods() {
  static const QList<Period> all = {
      {QStringLiteral("grll"), QStringLiteral("start_sj"), QStringLiteral("end_sj")},
      {QStringLiteral("jyqk"), QStringLiteral("rxny"), QStringLiteral("byny")},
      {QStringLiteral("jnpx"), QStringLiteral("start_sj"), QStringLiteral("end_sj")},
      {QStringLiteral("jwpx"), QStringLiteral("start_sj"), QStringLiteral("end_sj")},
  };
  return all;
}

const Period* periodOf(const Table& table) {
  for (const Period& p : periods())
    if (p.table == table.name) return &p;
  return nullptr;
}

// A text constant; captions and labels hold no quote.
QString literal(const QString& text) { return u'\'' + text + u'\''; }

// Findings, each starting with its one-character separator, as one text without the first.
QString joined(const QStringList& pieces) {
  return pieces.isEmpty() ? QStringLiteral("''")
                          : QStringLiteral("substr(%1,2)").arg(pieces.join(QStringLiteral("||")));
}

QStringList yearMonthColumns(const Table& table) {
  QStringList names;
  for (const Column& c : table.columns)
    if (c.kind == Kind::YearMonth) names << c.name;
  return names;
}

// `texts` as the list of an IN test.
QString listOf(const QStringList& texts) {
  QStringList quoted;
  for (const QString& t : texts) quoted << literal(t);
  return u'(' + quoted.join(u',') + u')';
}

// What year_month_state says of `value` (a column), or '' where the function need not be asked:
// the value is empty as stored, or six digits of a month from 1900 on before ?1 (January of
// last year by the client's date, so no server clock within a year of it sees the month ahead).
// The function is the costly part of the list, and most values are plainly right. Characters
// are tested for equality only, so no collation lets another character pass.
QString judged(const QString& value) {
  static const QString plain = [] {
    QStringList digits, months;
    for (int d = 0; d <= 9; ++d) digits << QString::number(d);
    for (int m = 1; m <= 12; ++m) months << QStringLiteral("%1").arg(m, 2, 10, QChar(u'0'));
    return QStringLiteral(
               "%1 is null or %1 in ('',%2) or (%1<?1 and length(%1)=6 and substr(%1,1,2) in "
               "('19','20') and substr(%1,3,1) in %3 and substr(%1,4,1) in %3 and substr(%1,5,2)"
               " in %4)")
        .arg(QStringLiteral("%1"), literal(kNone), listOf(digits), listOf(months));
  }();
  return QStringLiteral("case when %1 then '' else year_month_state(%2) end")
      .arg(plain.arg(value), value);
}

// The states of year_month_state that are findings.
const QString kWrong = QStringLiteral("('invalid','future')");

// The pieces of the select, table by table; each table is joined under its own name.
struct Parts {
  QString join;
  QStringList missing, empty, months, reversed;
};

void addOneRow(const Table& t, Parts& parts) {
  parts.join += QStringLiteral(" left join %1 on %1.id=p.id").arg(t.name);
  parts.missing << QStringLiteral("case when %1.id is null then %2 else '' end")
                       .arg(t.name, literal(u'、' + t.caption));
  QStringList empties;
  for (const Column& c : t.columns)
    if (c.name != u"id")
      empties << QStringLiteral("case when coalesce(%1.%2,'') in ('',%3) then 1 else 0 end")
                     .arg(t.name, c.name, literal(kNone));
  parts.empty << u'(' + empties.join(u'+') + u')';
  for (const QString& name : yearMonthColumns(t)) {
    const QString named = u'；' + t.caption + u'的' + t.column(name)->label;
    parts.months << QStringLiteral(
                        "case %1 when 'invalid' then %2 when 'future' then %3 else '' end")
                        .arg(judged(t.name + u'.' + name),
                             literal(named + QStringLiteral("不是真实的年月")),
                             literal(named + QStringLiteral("晚于本月")));
  }
}

// A history table is read once, grouped by person: how many rows hold a year-month that is not
// real or lies ahead, and how many end before they start.
void addHistory(const Table& t, Parts& parts) {
  const QStringList months = yearMonthColumns(t);
  if (months.isEmpty()) return;
  QStringList wrong;
  for (const QString& name : months) wrong << judged(name) + QStringLiteral(" in ") + kWrong;
  QString reversed = QStringLiteral("0");
  const Period* period = periodOf(t);
  if (period)
    reversed =
        QStringLiteral(
            "case when %2<%1 and length(%1)=6 and length(%2)=6 and %3 not in %5 and %4 "
            "not in %5 then 1 else 0 end")
            .arg(period->start, period->end, judged(period->start), judged(period->end), kWrong);
  parts.join += QStringLiteral(
                    " left join (select id,sum(case when %2 then 1 else 0 end) as months,"
                    "sum(%3) as reversed from %1 group by id) as %1 on %1.id=p.id")
                    .arg(t.name, wrong.join(QStringLiteral(" or ")), reversed);
  const auto count = [&t](const char* what, const QString& finding) {
    return QStringLiteral("case when %1.%2>0 then %3||cast(%1.%2 as text)||%4 else '' end")
        .arg(t.name, QLatin1StringView(what), literal(u'；' + t.caption + u'有'), literal(finding));
  };
  parts.months << count("months", QStringLiteral("行的年月不是真实的年月或晚于本月"));
  if (period)
    parts.reversed << count("reversed",
                            QStringLiteral("行的%1早于%2")
                                .arg(t.column(period->end)->label, t.column(period->start)->label));
}

}  // namespace

Select select(const QDate& today) {
  Parts parts;
  for (const Table* t : oneRowTables()) addOneRow(*t, parts);
  for (const Table* t : historyTables()) addHistory(*t, parts);
  // The birth month inside an identity number of 18 characters: characters 7 to 12.
  const QString born = QStringLiteral("substr(strim(p.id),7,6)");
  const QString birth =
      QStringLiteral(
          "case when info.date<>%1 and length(strim(p.id))=18 and length(info.date)=6 and %2 "
          "not in %3 then '与身份证号中的'||%1||'不符' else '' end")
          .arg(born, judged(QStringLiteral("info.date")), kWrong);
  const QString text =
      QStringLiteral(
          "select p.id as 身份证号,info.name as 姓名,%1 as 缺少的表,%2 as 空项数,"
          "coalesce(id_problem(p.id),'') as 身份证号问题,%3 as 出生日期,%4 as 年月问题,"
          "%5 as 起止颠倒 from (select id from user_name union select id from info) as p%6"
          " order by p.id")
          .arg(joined(parts.missing), parts.empty.join(u'+'), birth, joined(parts.months),
               joined(parts.reversed), parts.join);
  return {text, {QString::number(today.year() - 1) + QStringLiteral("01")}};
}

}  // namespace schema::completeness
