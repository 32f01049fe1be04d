#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <atomic>
#include <functional>
#include <memory>

class QThread;

// A school on a deadline day, against real servers: many staff members signed in at once, each
// opening their three record pages, saving one and adding a history row, with time to think
// between two actions, while administrators list, filter and review. The clients are
// non-blocking connections (bench/async_wire.h) on a few threads, so thousands of them cost the
// machine little beside the servers.
namespace bench {

// What a client does, each timed from its first request sent to its last reply read.
enum class Action {
  SignIn,          // connect, greet, sign in (one password hash on the server)
  BasicPage,       // info, wycd, other_info by person key
  WorkPage,        // the seven other one-row tables by person key
  ExperiencePage,  // the six history tables' display selects
  Save,            // the basic page's changed values applied against the rows as read
  HistoryRow,      // a drawn history number and a row stored under it
  List,            // the main list (administrators)
  Filter,          // a filter select of a few columns (administrators)
  Review,          // the reviewed mark of one person's account (administrators)
};
inline constexpr int kActionKinds = 9;
const char* actionName(Action action);

// What a save changes on the basic page: (table, column) pairs, each set to the same new text.
const QList<std::pair<QString, QString>>& savedColumns();

// One action done: when it began (seconds on the load's clock), how long it took, its requests
// and why it failed (empty when it did not).
struct Sample {
  Action action;
  double atS;
  double ms;
  int requests;
  QString error;
};

// The writes the servers acknowledged, to be looked for in the database afterwards.
struct Writes {
  // One client's saves: the value of its last acknowledged save, and the values it sent later
  // whose outcome it never learnt (the database may hold one of those instead).
  struct Saved {
    QString person;
    QString value;
    QStringList unanswered;
  };
  struct Row {
    QString table;
    qint64 idNum;
    QString person;
  };
  QList<Saved> saves;
  QList<Row> rows;
  QStringList reviewed;   // persons whose account an administrator marked reviewed
  QStringList reviewers;  // the administrators' identity numbers
};

struct LoadOptions {
  int clients = 2000;      // working clients, each signed in as its own demo person
  int idle = 0;            // more clients, each its own person, that sign in and stay idle
  int administrators = 5;  // on the demo administrator accounts in turn
  double thinkS = 10;      // between two actions of a client: uniform in 0.5–1.5 times this
  int threads = 2;         // threads of the working clients (the idle ones get one more)
  int signingAtOnce = 4;   // sign-ins in flight together: each costs the server a password hash
  int timeoutMs = 60000;   // the longest wait for one reply
};

struct Endpoint {
  QString host;
  quint16 port;
};

class Crew;

class SchoolLoad {
 public:
  // `servers` share the clients evenly. `persons` are demo persons' identity numbers: one per
  // client, working clients first, then the idle ones; administrators review any of them.
  SchoolLoad(const LoadOptions& options, const QList<Endpoint>& servers,
             const QStringList& persons);
  ~SchoolLoad();
  SchoolLoad(const SchoolLoad&) = delete;
  SchoolLoad& operator=(const SchoolLoad&) = delete;

  enum class Group { Working, Idle };
  // Connects and signs in a group (working: the clients and the administrators),
  // signingAtOnce at a time; returns when each is in or has failed, calling `tick` about five
  // times a second meanwhile. The seconds it took.
  double signIn(Group group, const std::function<void()>& tick = {});
  int signedIn() const { return signedIn_; }
  // The working clients and administrators begin, each after a random part of a think time.
  void start();
  // Ends the actions: none begins after this; waits up to `waitMs` for those under way.
  void stop(int waitMs = 60000);
  // Seconds since the load was made: the clock of Sample::atS.
  double now() const;
  // Every action done so far, sign-ins included.
  QList<Sample> samples() const;
  // Acknowledged writes; call after stop().
  Writes writes() const;
  // Connections that stopped serving (each client stops acting when its connection does).
  int connectionsLost() const { return lost_; }

 private:
  friend class Crew;
  struct Clock;

  QList<Crew*> crews(Group group) const;

  std::unique_ptr<Clock> clock_;
  const LoadOptions options_;
  const int workingCrews_;
  QList<Crew*> crews_;  // the working crews, then the idle crew when there are idle clients
  QList<QThread*> threads_;
  std::atomic<int> signedIn_ = 0;
  std::atomic<int> signInsDone_ = 0;
  std::atomic<int> busy_ = 0;
  std::atomic<int> lost_ = 0;
};

}  // namespace bench
