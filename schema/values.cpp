#include "schema/values.h"

namespace schema {

QString trim(QStringView text) {
  qsizetype begin = 0;
  qsizetype end = text.size();
  while (begin < end && text[begin].unicode() <= 32) ++begin;
  while (end > begin && text[end - 1].unicode() <= 32) --end;
  return text.mid(begin, end - begin).toString();
}

QByteArrayView trimUtf8(QByteArrayView text) {
  while (!text.isEmpty() && quint8(text.front()) <= 32) text = text.sliced(1);
  while (!text.isEmpty() && quint8(text.back()) <= 32) text.chop(1);
  return text;
}

int gbkLength(QStringView text) {
  int bytes = 0;
  for (qsizetype i = 0; i < text.size(); ++i) {
    if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) ++i;
    bytes += text[i].unicode() < 128 ? 1 : 2;
  }
  return bytes;
}

bool isYearMonth(QStringView text) { return gbkLength(trim(text)) == 6; }

QString shownValue(const QVariant& value) {
  return value.isNull() ? kNone : trim(value.toString());
}

QString storedValue(const QString& text) { return text.isEmpty() ? kNone : trim(text); }

}  // namespace schema
