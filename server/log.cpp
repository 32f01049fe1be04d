#include "server/log.h"

#include <QDateTime>
#include <QMutex>
#include <cstdio>

namespace server {

namespace {

// Characters that could end a line, rewind it or steer a terminal: C0, DEL, C1, and the
// Unicode line and paragraph separators.
bool isControl(char16_t c) {
  return c < 0x20 || (c >= 0x7f && c <= 0x9f) || c == 0x2028 || c == 0x2029;
}

QString escaped(QStringView text) {
  QString out;
  out.reserve(text.size());
  for (const QChar ch : text) {
    const char16_t c = ch.unicode();
    if (c == u'\\') {
      out += QStringLiteral("\\\\");
    } else if (c == u'\n') {
      out += QStringLiteral("\\n");
    } else if (c == u'\r') {
      out += QStringLiteral("\\r");
    } else if (c == u'\t') {
      out += QStringLiteral("\\t");
    } else if (isControl(c)) {
      out += c <= 0xff ? QStringLiteral("\\x%1").arg(uint(c), 2, 16, QLatin1Char('0'))
                       : QStringLiteral("\\u%1").arg(uint(c), 4, 16, QLatin1Char('0'));
    } else {
      out += ch;
    }
  }
  return out;
}

}  // namespace

QString clipped(const QString& value, qsizetype chars) {
  if (value.size() <= chars) return value;
  return value.left(chars) + QStringLiteral("…(+%1)").arg(value.size() - chars);
}

void logLine(const QString& text) {
  static QMutex mutex;
  const QByteArray line =
      (QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz ")) +
       escaped(QStringView(clipped(text, kMaxLineChars))) + u'\n')
          .toUtf8();
  QMutexLocker lock(&mutex);
  std::fwrite(line.constData(), 1, size_t(line.size()), stderr);
  std::fflush(stderr);
}

}  // namespace server
