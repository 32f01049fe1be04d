#pragma once

#include <QHash>
#include <QMutex>
#include <QString>
#include <QtGlobal>

// History row numbers drawn but not yet saved, each held for the session that drew it until
// that session saves a row with it or ends. Another session's insert of a held number is
// refused, so nobody watching the counter can take the number an administrator is about to
// save. Shared by every session of the process.
namespace server {

class DrawnNumbers {
 public:
  static DrawnNumbers& shared();

  // A session may hold this many unsaved numbers; it must save or end before drawing more.
  static constexpr int kMostHeld = 1000;

  // A new session's token.
  static quint64 newSession();

  // Holds `number` of `table` for `session`; false when the session holds too many already.
  bool hold(const QString& table, qint64 number, quint64 session);
  // Whether `session` may insert `number` into `table`: unless another session holds it.
  bool mayUse(const QString& table, qint64 number, quint64 session) const;
  // The number is saved: nobody holds it any more.
  void used(const QString& table, qint64 number);
  // The session ended: its numbers are held no more.
  void release(quint64 session);

 private:
  static QString key(const QString& table, qint64 number);

  mutable QMutex mutex_;
  QHash<QString, quint64> holders_;  // "table:number" → session
  QHash<quint64, int> held_;         // session → numbers it holds
};

}  // namespace server
