#pragma once

#include <QDate>
#include <QString>
#include <QVariantList>

// The completeness list: for every person (everyone with an account or an `info` row), what
// their record lacks and what looks wrong in it. Findings are warnings for the administrators;
// no save is refused by them.
namespace schema::completeness {

// One select that the database computes whole, a row per person in identity-number order:
//   身份证号, 姓名;
//   缺少的表: the one-row tables without a row for the person, by caption, joined by "、";
//   空项数: the fields of the one-row tables that are empty or "无", a missing row's included;
//   身份证号问题: what id_problem finds (wrong format, impossible birth date, check digit);
//   出生日期: set when info.date is a real year-month other than the identity number's;
//   年月问题: one-row year-months that are not a real year and month or lie after this month
//             (as year_month_state judges them), and per history table the number of rows
//             holding one;
//   起止颠倒: per history table, the number of rows whose end comes before their start.
// Several findings in one column are joined by "；"; a column without findings is empty.
// The text is composed from the schema's tables; values are read as stored (every write stores
// them trimmed). Its one parameter comes from `today`, the client's date (see judged() in the
// implementation).
struct Select {
  QString text;
  QVariantList params;
};
Select select(const QDate& today = QDate::currentDate());

}  // namespace schema::completeness
