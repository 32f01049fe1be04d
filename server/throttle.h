#pragma once

#include <QElapsedTimer>
#include <QHash>
#include <QMutex>
#include <QString>

// Failed sign-ins slow down further attempts, per account and per peer address, shared by
// every connection. A few failures are free; after that each failure makes the next attempt
// wait a delay that doubles up to a cap, and failures are forgotten after a quiet while, so
// nobody is locked out for good. An attempt that must still wait is refused at once, before
// any password is hashed, so guessers take no hashing slots from other sign-ins. An address
// that has not failed itself is never held back by failures on the account from elsewhere, and
// one with only a few failures of its own for seconds at most: guessing an administrator's
// password cannot keep the administrator out.
namespace server {

class SignInThrottle {
 public:
  // `firstDelayMs`: the delay after the first failure past the free ones; 0 turns throttling
  // off.
  explicit SignInThrottle(int firstDelayMs);

  // Milliseconds the attempt must still wait; 0 when it may be verified now.
  qint64 waitFor(const QString& account, const QString& address);
  void failed(const QString& account, const QString& address);
  void succeeded(const QString& account, const QString& address);

  static constexpr int kFreeFailures = 3;
  // The longest an address within its free failures waits, after its own last failure, for
  // failures on the account from elsewhere: a typo of the real user never costs more than this,
  // whatever others guess.
  static constexpr qint64 kHonestWaitMs = 2000;
  static constexpr int kMaxDoublings = 7;  // the delay stops growing at 128 × the first
  static constexpr qint64 kForgetMs = 15 * 60 * 1000;
  static constexpr qsizetype kMaxEntries = 20000;

 private:
  struct Entry {
    int failures = 0;
    qint64 lastFailure = 0;  // ms on clock_
    qint64 until = 0;        // no attempt before this, ms on clock_
  };

  qint64 left(const Entry* entry, qint64 now) const;
  void fail(QHash<QString, Entry>& entries, const QString& key, qint64 now);
  void prune(QHash<QString, Entry>& entries, qint64 now);

  const int firstDelayMs_;
  QMutex mutex_;
  QElapsedTimer clock_;
  QHash<QString, Entry> accounts_;
  QHash<QString, Entry> addresses_;
};

}  // namespace server
