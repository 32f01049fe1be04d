#include "schema/quality.h"

#include "schema/values.h"

namespace schema {

namespace {

bool digits(QStringView text) {
  for (QChar c : text)
    if (c < u'0' || c > u'9') return false;
  return true;
}

}  // namespace

QString identityProblem(QStringView id, const QDate& today) {
  const QString s = trim(id);
  if (s.isEmpty()) return QString();
  const QChar last = s.size() == 18 ? s[17].toUpper() : QChar();
  if (s.size() != 18 || !digits(QStringView(s).left(17)) || !(last.isDigit() || last == u'X'))
    return QStringLiteral("身份证号格式不对");
  const QDate born(QStringView(s).mid(6, 4).toInt(), QStringView(s).mid(10, 2).toInt(),
                   QStringView(s).mid(12, 2).toInt());
  if (!born.isValid() || born.year() < 1900 || born > today)
    return QStringLiteral("出生日期不存在");
  static constexpr int kWeights[17] = {7, 9, 10, 5, 8, 4, 2, 1, 6, 3, 7, 9, 10, 5, 8, 4, 2};
  int sum = 0;
  for (int i = 0; i < 17; ++i) sum += (s[i].unicode() - u'0') * kWeights[i];
  if (QStringLiteral("10X98765432")[sum % 11] != last) return QStringLiteral("校验位错误");
  return QString();
}

YearMonthState yearMonthState(QStringView value, const QDate& today) {
  const QString s = trim(value);
  if (s.isEmpty() || s == kNone) return YearMonthState::Empty;
  const int year = QStringView(s).left(4).toInt();
  const int month = QStringView(s).mid(4).toInt();
  if (s.size() != 6 || !digits(s) || year < 1900 || month < 1 || month > 12)
    return YearMonthState::Invalid;
  if (year * 100 + month > today.year() * 100 + today.month()) return YearMonthState::Future;
  return YearMonthState::Ok;
}

QString yearMonthStateName(YearMonthState state) {
  switch (state) {
    case YearMonthState::Ok:
      return QStringLiteral("ok");
    case YearMonthState::Empty:
      return QStringLiteral("empty");
    case YearMonthState::Invalid:
      return QStringLiteral("invalid");
    case YearMonthState::Future:
      return QStringLiteral("future");
  }
  return QString();
}

}  // namespace schema
