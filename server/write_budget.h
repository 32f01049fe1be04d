#pragma once

#include <QElapsedTimer>
#include <QHash>
#include <QMutex>
#include <QString>

// How much one account may write: the bytes of the values it saves, from a budget that refills
// at a steady rate, shared by all the account's connections. An ordinary user filling in a
// record never meets it; a script writing megabytes in a loop is told to wait instead of
// filling the disk.
namespace server {

class WriteBudget {
 public:
  struct Rate {
    qint64 burstBytes;      // what may be written at once after a quiet while
    qint64 perMinuteBytes;  // what comes back each minute
  };
  // Role 2 fills in one record; administrators import whole schools.
  static constexpr Rate kPerson = {4ll * 1024 * 1024, 1024ll * 1024};
  static constexpr Rate kAdministrator = {512ll * 1024 * 1024, 256ll * 1024 * 1024};

  static WriteBudget& shared();

  // Takes `bytes` from the account's budget; false (taking nothing) when it has not that much.
  bool take(const QString& account, const Rate& rate, qint64 bytes);

 private:
  struct Bucket {
    double bytes = 0;
    qint64 at = 0;  // ms on clock_ when `bytes` was last brought up to date
  };

  WriteBudget() { clock_.start(); }

  QMutex mutex_;
  QElapsedTimer clock_;
  QHash<QString, Bucket> buckets_;
};

}  // namespace server
