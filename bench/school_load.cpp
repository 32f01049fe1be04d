#include "bench/school_load.h"

#include <QElapsedTimer>
#include <QThread>
#include <QTimer>
#include <deque>
#include <random>

#include "bench/async_wire.h"
#include "demo/generator.h"
#include "query/filter_query.h"
#include "schema/queries.h"
#include "schema/tables.h"
#include "server/epoll_dispatcher.h"

namespace bench {

namespace {

const char* const kActionNames[kActionKinds] = {
    "sign-in",   "basic page", "work page", "experience page", "save",
    "history row", "list",     "filter",    "review"};

// The basic page's tables; the work page shows the other one-row tables.
const QStringList kBasicTables = {QStringLiteral("info"), QStringLiteral("wycd"),
                                  QStringLiteral("other_info")};
// The history row a client adds, table by table in turn: one column's text beside id_num and id.
const QList<std::pair<QString, QString>> kHistoryColumn = {
    {QStringLiteral("jzgjckh"), QStringLiteral("ch")}, {QStringLiteral("shgx"), QStringLiteral("name")},
    {QStringLiteral("grll"), QStringLiteral("dw")},    {QStringLiteral("jyqk"), QStringLiteral("byxx")},
    {QStringLiteral("jnpx"), QStringLiteral("nr")},    {QStringLiteral("jwpx"), QStringLiteral("nr")}};
// The columns an administrator's filter ticks: name, sex, highest education (the identity
// number is always in).
const QList<int> kFilterBoxes = {filter::kFixedBox, 1, 8, 12};

protocol::OpenRequest keyed(const QString& table, const QString& person) {
  protocol::OpenRequest r;
  r.provider = table == schema::kAccounts ? QStringLiteral("DataSetProvider_user")
                                          : QStringLiteral("DataSetProvider_") + table;
  r.personKey = person;
  return r;
}

protocol::OpenRequest command(const QString& text, const QVariantList& params = {}) {
  protocol::OpenRequest r;
  r.provider = QStringLiteral("DataSetProvider_search");
  r.text = text;
  r.params = params;
  return r;
}

QVariantMap rowOf(const protocol::Packet& packet, int row) {
  QVariantMap map;
  for (int c = 0; c < packet.columns.size(); ++c) map.insert(packet.columns[c], packet.rows[row][c]);
  return map;
}

QList<protocol::OpenRequest> workPage(const QString& person) {
  QList<protocol::OpenRequest> out;
  for (const schema::Table* t : schema::oneRowTables())
    if (!kBasicTables.contains(t->name)) out << keyed(t->name, person);
  return out;
}

QList<protocol::OpenRequest> experiencePage(const QString& person) {
  QList<protocol::OpenRequest> out;
  for (const schema::queries::HistoryQueries& q : schema::queries::history())
    out << command(q.display, {person});
  return out;
}

}  // namespace

const char* actionName(Action action) { return kActionNames[int(action)]; }

const QList<std::pair<QString, QString>>& savedColumns() {
  static const QList<std::pair<QString, QString>> columns = {
      {QStringLiteral("info"), QStringLiteral("tel_mob")},
      {QStringLiteral("other_info"), QStringLiteral("tel")}};
  return columns;
}

struct SchoolLoad::Clock {
  QElapsedTimer timer;
};

// One client: a connection signed in as one person, and what it remembers between actions.
struct Client {
  enum class Role { Staff, Administrator, Idle };
  Client(Role role, QString id, QString password, Endpoint server)
      : role(role), id(std::move(id)), password(std::move(password)), server(std::move(server)) {}

  Role role;
  QString id;
  QString password;
  Endpoint server;
  AsyncWire* wire = nullptr;
  int step = 0;                 // the next action of its round
  QList<protocol::Packet> basic;  // the basic page's rows as last read
  int saves = 0;
  int rows = 0;
  QString saved;
  QStringList unanswered;
};

// The clients of one thread. Lives in that thread; the load calls it through queued calls.
class Crew : public QObject {
 public:
  using Done = std::function<void(const QString& error, int requests)>;

  Crew(SchoolLoad& load, const LoadOptions& options, const QStringList& persons, int seed)
      : load_(load), options_(options), persons_(persons), random_(seed) {}

  void add(Client client) { clients_.push_back(std::move(client)); }
  int size() const { return int(clients_.size()); }

  // Signs every client in, `atOnce` at a time.
  void signIn(int atOnce) {
    for (int i = 0; i < atOnce; ++i) signInNext();
  }

  void start() {
    for (Client& c : clients_)
      if (c.role != Client::Role::Idle && c.wire && c.wire->lost().isEmpty())
        QTimer::singleShot(pause(std::uniform_real_distribution<double>(0, 1)(random_)), this,
                           [this, &c] { act(c); });
  }

  void stop() { stopping_ = true; }

  QList<Sample> samples() const { return samples_; }

  void addWrites(Writes& out) const {
    out.rows << rows_;
    out.reviewed << reviewed_;
    for (const Client& c : clients_)
      if (c.role == Client::Role::Staff && (!c.saved.isEmpty() || !c.unanswered.isEmpty()))
        out.saves << Writes::Saved{c.id, c.saved, c.unanswered};
  }

 private:
  struct Routine {
    Action action;
    void (Crew::*run)(Client&, Done);
  };
  static const QList<Routine>& round(Client::Role role) {
    static const QList<Routine> staff = {{Action::BasicPage, &Crew::openBasic},
                                         {Action::WorkPage, &Crew::openWork},
                                         {Action::ExperiencePage, &Crew::openExperience},
                                         {Action::Save, &Crew::save},
                                         {Action::HistoryRow, &Crew::addRow}};
    static const QList<Routine> administrator = {
        {Action::List, &Crew::list}, {Action::Filter, &Crew::filter}, {Action::Review, &Crew::review}};
    return role == Client::Role::Staff ? staff : administrator;
  }

  // Milliseconds of thought: `share` times the think time.
  int pause(double share) const { return int(options_.thinkS * 1000 * share); }

  void record(Action action, double startS, const QString& error, int requests) {
    samples_ << Sample{action, startS, (load_.now() - startS) * 1000, requests, error};
  }

  void signInNext() {
    if (next_ >= clients_.size()) return;
    Client& c = clients_[next_++];
    c.wire = new AsyncWire(options_.timeoutMs, this);
    const double start = load_.now();
    auto done = [this, start](const QString& error) {
      record(Action::SignIn, start, error, 2);
      if (error.isEmpty()) ++load_.signedIn_;
      ++load_.signInsDone_;
      signInNext();
    };
    c.wire->connectTo(c.server.host, c.server.port, [this, &c, done](const QString& error) {
      if (!error.isEmpty()) return done(error);
      c.wire->signIn(c.id, c.password, [done](Answer<protocol::SignInReply> reply) {
        if (reply.ok() && reply->outcome != protocol::SignInOutcome::SignedIn)
          return done(QStringLiteral("sign-in refused (outcome %1)").arg(int(reply->outcome)));
        done(reply.error);
      });
    });
  }

  void act(Client& c) {
    if (stopping_) return;
    const QList<Routine>& routines = round(c.role);
    const Routine& routine = routines[c.step++ % routines.size()];
    const double start = load_.now();
    ++load_.busy_;
    (this->*routine.run)(c, [this, &c, action = routine.action, start](const QString& error,
                                                                        int requests) {
      record(action, start, error, requests);
      --load_.busy_;
      if (!c.wire->lost().isEmpty()) {
        ++load_.lost_;
        return;
      }
      QTimer::singleShot(pause(std::uniform_real_distribution<double>(0.5, 1.5)(random_)), this,
                         [this, &c] { act(c); });
    });
  }

  // Opens `requests` one after the other, as a page does; the packets in order.
  void openAll(Client& c, QList<protocol::OpenRequest> requests,
               std::function<void(const QString&, QList<protocol::Packet>)> then,
               QList<protocol::Packet> got = {}) {
    if (got.size() == requests.size()) return then(QString(), std::move(got));
    const protocol::OpenRequest request = requests[got.size()];
    c.wire->open(request, [this, &c, requests = std::move(requests), then = std::move(then),
                           got = std::move(got)](Answer<protocol::CompactPacket> reply) mutable {
      if (!reply.ok()) return then(reply.error, {});
      got << protocol::toPacket(*reply);
      openAll(c, std::move(requests), std::move(then), std::move(got));
    });
  }

  void openPage(Client& c, const QList<protocol::OpenRequest>& requests, Done done) {
    openAll(c, requests,
            [done, n = int(requests.size())](const QString& error, const QList<protocol::Packet>&) {
              done(error, n);
            });
  }

  void openBasic(Client& c, Done done) {
    QList<protocol::OpenRequest> requests;
    for (const QString& t : kBasicTables) requests << keyed(t, c.id);
    openAll(c, requests, [&c, done](const QString& error, QList<protocol::Packet> packets) {
      c.basic = std::move(packets);
      done(error, int(kBasicTables.size()));
    });
  }

  void openWork(Client& c, Done done) { openPage(c, workPage(c.id), std::move(done)); }
  void openExperience(Client& c, Done done) { openPage(c, experiencePage(c.id), std::move(done)); }

  // One apply of the changed values, one part per changed table, against the rows as read.
  void save(Client& c, Done done) {
    if (c.basic.size() != kBasicTables.size()) return done(QStringLiteral("页面数据未能读取"), 0);
    const QString value = QStringLiteral("L%1-%2").arg(c.id.right(6)).arg(++c.saves);
    protocol::ApplyRequest request;
    for (const auto& [table, column] : savedColumns()) {
      const protocol::Packet& rows = c.basic[kBasicTables.indexOf(table)];
      if (rows.rows.isEmpty()) return done(QStringLiteral("%1 无此人的行").arg(table), 0);
      request.parts << protocol::ApplyPart{
          keyed(table, c.id),
          {{protocol::Change::Kind::Update, rows.rids[0], rowOf(rows, 0), {{column, value}}}}};
    }
    c.basic.clear();  // the rows as read are no longer the stored ones
    c.unanswered << value;
    c.wire->apply(request, [&c, value, done](Answer<protocol::ApplyReply> reply) {
      if (reply.ok()) {
        c.saved = value;
        c.unanswered.clear();
      } else if (c.wire->lost().isEmpty()) {
        c.unanswered.removeOne(value);  // refused: nothing of it was written
      }
      done(reply.error, 1);
    });
  }

  // Draws a number and inserts the row through the table's write-back select, as the history
  // grids do.
  void addRow(Client& c, Done done) {
    const auto& [table, column] = kHistoryColumn[c.rows++ % kHistoryColumn.size()];
    c.wire->draw(table, [this, &c, table, column, done](Answer<qint64> number) {
      if (!number.ok()) return done(number.error, 1);
      const protocol::Change row{protocol::Change::Kind::Insert,
                                 0,
                                 {},
                                 {{"id_num", *number}, {"id", c.id}, {column, QStringLiteral("负载")}}};
      const protocol::OpenRequest source =
          command(schema::queries::history(table).writeBack, {c.id});
      c.wire->apply({{{source, {row}}}}, [this, &c, table, n = *number,
                                          done](Answer<protocol::ApplyReply> reply) {
        if (reply.ok()) rows_ << Writes::Row{table, n, c.id};
        done(reply.error, 2);
      });
    });
  }

  void list(Client& c, Done done) {
    openPage(c, {command(schema::queries::kPersonList)}, std::move(done));
  }

  void filter(Client& c, Done done) {
    static const QString text =
        filter::compose([](int box) { return kFilterBoxes.contains(box); });
    openPage(c, {command(text)}, std::move(done));
  }

  // The experience page's review button: the person's account row, its reviewer set to the
  // administrator.
  void review(Client& c, Done done) {
    const QString person =
        persons_[std::uniform_int_distribution<qsizetype>(0, persons_.size() - 1)(random_)];
    const protocol::OpenRequest source = keyed(schema::kAccounts, person);
    c.wire->open(source, [this, &c, source, person, done](Answer<protocol::CompactPacket> reply) {
      if (!reply.ok()) return done(reply.error, 1);
      const protocol::Packet rows = protocol::toPacket(*reply);
      if (rows.rows.isEmpty()) return done(QStringLiteral("无此人的账户"), 1);
      const protocol::Change change{
          protocol::Change::Kind::Update, rows.rids[0], rowOf(rows, 0), {{"shr", c.id}}};
      c.wire->apply({{{source, {change}}}}, [this, person, done](Answer<protocol::ApplyReply> r) {
        if (r.ok()) reviewed_ << person;
        done(r.error, 2);
      });
    });
  }

  SchoolLoad& load_;
  const LoadOptions options_;
  const QStringList persons_;
  std::mt19937 random_;
  std::deque<Client> clients_;  // a deque: clients stay where they are as more are added
  size_t next_ = 0;             // the next client to sign in
  bool stopping_ = false;
  QList<Sample> samples_;
  QList<Writes::Row> rows_;
  QStringList reviewed_;
};

SchoolLoad::SchoolLoad(const LoadOptions& options, const QList<Endpoint>& servers,
                       const QStringList& persons)
    : clock_(std::make_unique<Clock>()), options_(options), workingCrews_(qMax(1, options.threads)) {
  clock_->timer.start();
  const int crews = workingCrews_ + (options.idle > 0 ? 1 : 0);
  for (int i = 0; i < crews; ++i) {
    crews_ << new Crew(*this, options, persons, i + 1);
    threads_ << new QThread;
    // Each crew holds a thousand sockets or more: its loop, like the server's, is told of the
    // ready ones only, so that the latencies measured are the server's, not this loop's walk.
    threads_.back()->setEventDispatcher(new server::EpollDispatcher);
  }
  int served = 0;  // clients given a server so far, in turn
  const auto client = [&](Client::Role role, const QString& id, const QString& password) {
    return Client{role, id, password, servers[served++ % servers.size()]};
  };
  for (int a = 0; a < options.administrators; ++a) {
    const demo::DemoAccount& admin = demo::administrators()[a % demo::administrators().size()];
    crews_[0]->add(client(Client::Role::Administrator, admin.id, admin.password));
  }
  for (int i = 0; i < options.clients; ++i)
    crews_[i % workingCrews_]->add(
        client(Client::Role::Staff, persons[i], demo::kPersonPassword));
  for (int i = 0; i < options.idle; ++i)
    crews_.back()->add(
        client(Client::Role::Idle, persons[options.clients + i], demo::kPersonPassword));
  for (int i = 0; i < crews; ++i) {
    crews_[i]->moveToThread(threads_[i]);
    threads_[i]->start();
  }
}

SchoolLoad::~SchoolLoad() {
  for (int i = 0; i < crews_.size(); ++i) {
    // Deleted in its own thread, with its connections.
    QMetaObject::invokeMethod(crews_[i], [crew = crews_[i]] { delete crew; },
                              Qt::BlockingQueuedConnection);
    threads_[i]->quit();
    threads_[i]->wait();
    delete threads_[i];
  }
}

double SchoolLoad::now() const { return clock_->timer.nsecsElapsed() / 1e9; }

QList<Crew*> SchoolLoad::crews(Group group) const {
  return group == Group::Working ? crews_.mid(0, workingCrews_) : crews_.mid(workingCrews_);
}

double SchoolLoad::signIn(Group group, const std::function<void()>& tick) {
  const double start = now();
  const QList<Crew*> chosen = crews(group);
  int target = signInsDone_;
  for (Crew* crew : chosen) {
    const int size = crew->size();  // fixed since construction: safe to read from here
    target += size;
    const int atOnce = qMax(1, options_.signingAtOnce / int(chosen.size()));
    QMetaObject::invokeMethod(crew, [crew, atOnce] { crew->signIn(atOnce); });
  }
  while (signInsDone_ < target) {
    if (tick) tick();
    QThread::msleep(200);
  }
  return now() - start;
}

void SchoolLoad::start() {
  for (Crew* crew : crews(Group::Working))
    QMetaObject::invokeMethod(crew, [crew] { crew->start(); });
}

void SchoolLoad::stop(int waitMs) {
  for (Crew* crew : crews_) QMetaObject::invokeMethod(crew, [crew] { crew->stop(); });
  QElapsedTimer waited;
  waited.start();
  while (busy_ > 0 && !waited.hasExpired(waitMs)) QThread::msleep(20);
}

QList<Sample> SchoolLoad::samples() const {
  QList<Sample> all;
  for (Crew* crew : crews_)
    QMetaObject::invokeMethod(crew, [crew, &all] { all << crew->samples(); },
                              Qt::BlockingQueuedConnection);
  return all;
}

Writes SchoolLoad::writes() const {
  Writes out;
  for (const demo::DemoAccount& admin : demo::administrators()) out.reviewers << admin.id;
  for (Crew* crew : crews_)
    QMetaObject::invokeMethod(crew, [crew, &out] { crew->addWrites(out); },
                              Qt::BlockingQueuedConnection);
  return out;
}

}  // namespace bench
