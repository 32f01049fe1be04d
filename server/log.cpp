#include "server/log.h"

#include <QDateTime>
#include <QMutex>
#include <cstdio>

namespace server {

void logLine(const QString& text) {
  static QMutex mutex;
  const QByteArray line =
      (QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz ")) + text +
       u'\n')
          .toUtf8();
  QMutexLocker lock(&mutex);
  std::fwrite(line.constData(), 1, size_t(line.size()), stderr);
  std::fflush(stderr);
}

}  // namespace server
