#pragma once

#include <QDate>
#include <QString>
#include <QStringView>

// Quality rules no form enforces: whether an identity number can be real, and whether a
// year-month value is one. The database computes them for the completeness list through the
// functions id_problem(x) and year_month_state(x), which follow these rules.
namespace schema {

// What is wrong with the trimmed identity number: "身份证号格式不对" (not 17 digits and a digit
// or X), "出生日期不存在" (no such day, before 1900 or after `today`), "校验位错误" (the
// national standard's check digit: the weighted sum of the first 17 digits mod 11, "X" for 10);
// empty when nothing is, and for an empty value.
QString identityProblem(QStringView id, const QDate& today = QDate::currentDate());

// A year-month value (YYYYMM) as the list judges it.
enum class YearMonthState { Ok, Empty, Invalid, Future };
// Empty: blank or "无"; Invalid: not six digits, a year before 1900 or a month outside 1–12;
// Future: later than the month of `today`.
YearMonthState yearMonthState(QStringView value, const QDate& today = QDate::currentDate());
// "ok", "empty", "invalid" or "future", as the database function gives it.
QString yearMonthStateName(YearMonthState state);

}  // namespace schema
