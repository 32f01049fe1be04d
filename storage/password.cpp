#include "storage/password.h"

#include <sodium.h>

#include <QSemaphore>
#include <QThread>
#include <cstring>

#include "schema/values.h"

namespace storage::password {

namespace {

// Bounds the memory of concurrent hashing to a few times MEMLIMIT_INTERACTIVE.
QSemaphore& hashingSlots() {
  static QSemaphore semaphore(qMax(2, QThread::idealThreadCount()));
  return semaphore;
}

void initialise() {
  static const int ready = sodium_init();
  if (ready < 0) qFatal("libsodium cannot be initialised");
}

}  // namespace

Result<QByteArray> hash(const QString& typed) {
  initialise();
  const QByteArray plain = schema::trim(typed).toUtf8();
  char out[crypto_pwhash_STRBYTES];
  hashingSlots().acquire();
  QSemaphoreReleaser release(hashingSlots());
  if (crypto_pwhash_str(out, plain.constData(), quint64(plain.size()),
                        crypto_pwhash_OPSLIMIT_INTERACTIVE,
                        crypto_pwhash_MEMLIMIT_INTERACTIVE) != 0)
    return Error{QStringLiteral("服务器内存不足，无法保存密码")};
  return QByteArray(out);
}

bool verify(const QString& typed, const QByteArray& stored) {
  initialise();
  if (stored.isEmpty() || stored.size() >= crypto_pwhash_STRBYTES) return false;
  char buffer[crypto_pwhash_STRBYTES] = {};
  std::memcpy(buffer, stored.constData(), size_t(stored.size()));
  const QByteArray plain = schema::trim(typed).toUtf8();
  hashingSlots().acquire();
  QSemaphoreReleaser release(hashingSlots());
  return crypto_pwhash_str_verify(buffer, plain.constData(), quint64(plain.size())) == 0;
}

}  // namespace storage::password
