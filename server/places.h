#pragma once

#include <QElapsedTimer>
#include <QHash>
#include <QMutex>
#include <QString>
#include <functional>
#include <optional>

#include "server/access.h"

// The server's places for connections, shared fairly so that nobody can take them all: one
// address holds a bounded share; connections that have not signed in have a share of their
// own, which never takes the places of signed-in users, and when it is full the address holding
// most of it gives up its longest-idle one; one account holds a few connections (an ordinary
// user fewer than an administrator), giving up its own longest-idle one for a new one; the last
// places are kept for administrators. When the server is full, the longest-idle connection of
// an account holding more than one is closed before anyone is refused. Safe from any thread.
namespace server {

struct PlaceLimits {
  int connections = 10000;
  int perAddress = 2500;
  int unsigned_ = 1000;           // connections that have not signed in yet
  int perPerson = 4;              // signed in as one ordinary user (role 2)
  int perAdministrator = 32;      // signed in as one administrator (roles 0 and 1)
  int administratorReserve = 50;  // places only administrators sign in to
};

class Places {
 public:
  // Asks a connection to close with a reason; called from any thread, it must not block.
  using Close = std::function<void(const QString& reason)>;

  explicit Places(const PlaceLimits& limits);

  // A place for a new connection from `address`, or the reason there is none. May close the
  // longest-idle connection of a holder over its share to make room.
  std::optional<QString> enter(quint64 id, const QString& address, Close close);
  // The connection signs in as `user`: a place among signed-in users, or the reason there is
  // none. May close the account's own longest-idle connection, or another over its share.
  std::optional<QString> signIn(quint64 id, const User& user);
  // The connection is no longer signed in (signed out, or its account went away).
  void signOut(quint64 id);
  // The connection did something: it is not idle.
  void touch(quint64 id);
  void leave(quint64 id);

  // Counts, for tests and logs.
  int connections() const;

 private:
  struct Place {
    QString address;
    QString account;  // empty while not signed in
    int role = -1;
    qint64 lastActive = 0;  // ms on clock_
    bool closing = false;   // asked to close, not yet gone
    Close close;
  };

  int shareOf(const User& user) const;
  // Closes the longest-idle open place for which `pick` is true; false when there is none.
  bool closeLongestIdle(const std::function<bool(const Place&)>& pick, const QString& reason);
  int count(const std::function<bool(const Place&)>& pick) const;

  const PlaceLimits limits_;
  mutable QMutex mutex_;
  QElapsedTimer clock_;
  QHash<quint64, Place> places_;
};

}  // namespace server
