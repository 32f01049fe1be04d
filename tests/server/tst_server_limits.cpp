// What a client cannot do to the server: hold connections without signing in or by stalling,
// take every place from one address, make a request cost unbounded memory, temporary files or
// time, fill the database with one person's rows, guess passwords at full speed or keep an
// honest user out by guessing, or write lines of its own (or too many) into the log.
#include <QCborStreamWriter>
#include <QtEndian>
#include <QtTest>

#include "protocol/frame.h"
#include "schema/queries.h"
#include "tests/server/requests.h"

using namespace requests;

namespace {

const QString kAdmin = QStringLiteral("110000000000000000");
const QString kPassword = QStringLiteral("admin");
const QString kElsewhere = QStringLiteral("127.0.0.2");  // another machine, to the server

QByteArray header(quint32 length) {
  QByteArray bytes(4, Qt::Uninitialized);
  qToBigEndian(length, bytes.data());
  return bytes;
}

// A request written straight into its frame, so the test never holds it as a tree.
QByteArray streamed(const std::function<void(QCborStreamWriter&)>& body) {
  QByteArray bytes;
  {
    QCborStreamWriter writer(&bytes);
    body(writer);
  }
  return header(quint32(bytes.size())) + bytes;
}

QByteArray openWithParams(qint64 count) {
  return streamed([count](QCborStreamWriter& w) {
    w.startMap(3);
    w.append(QLatin1StringView("op"));
    w.append(QLatin1StringView("open"));
    w.append(QLatin1StringView("provider"));
    w.append(QLatin1StringView("DataSetProvider_search"));
    w.append(QLatin1StringView("params"));
    w.startArray(quint64(count));
    for (qint64 i = 0; i < count; ++i) w.append(0);
    w.endArray();
    w.endMap();
  });
}

// An apply of `parts` datasets' changes, each `count` changes that are empty maps or, with
// `kind`, name only that kind.
QByteArray applyOfEmptyChanges(qint64 count, int parts = 1, const char* kind = nullptr) {
  return streamed([count, parts, kind](QCborStreamWriter& w) {
    w.startMap(2);
    w.append(QLatin1StringView("op"));
    w.append(QLatin1StringView("apply"));
    w.append(QLatin1StringView("parts"));
    w.startArray(quint64(parts));
    for (int part = 0; part < parts; ++part) {
      w.startMap(2);
      w.append(QLatin1StringView("provider"));
      w.append(QLatin1StringView("DataSetProvider_shgx"));
      w.append(QLatin1StringView("changes"));
      w.startArray(quint64(count));
      for (qint64 i = 0; i < count; ++i) {
        w.startMap(kind ? 1 : 0);
        if (kind) {
          w.append(QLatin1StringView("kind"));
          w.append(QLatin1StringView(kind));
        }
        w.endMap();
      }
      w.endArray();
      w.endMap();
    }
    w.endArray();
    w.endMap();
  });
}

QByteArray select(const QString& text, const QVariantList& params = {}) {
  return protocol::encodeFrame(command(text, params).toCbor());
}

}  // namespace

class ServerLimitsTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase();
  void connectionsOutOfTimeAreClosed_data();
  void connectionsOutOfTimeAreClosed();
  void oneAddressHoldsABoundedShare();
  void oversizedRequestsAreRefused_data();
  void oversizedRequestsAreRefused();
  void memoryStaysBounded();
  void temporaryFilesAreBounded();
  void onePersonsRowsAreBounded();
  void guessesAreThrottled();
  void honestTypoIsNotHeldByGuesses();
  void clientTextCannotForgeLogLines();
  void repeatedLinesAreSummarised();

 private:
  std::unique_ptr<TestServer> server_;   // short timeouts, few places per address
  std::unique_ptr<TestServer> relaxed_;  // default timeouts: for sign-ins that take a while
  qint64 baselineKb_ = 0;
};

void ServerLimitsTest::initTestCase() {
  server_ = std::make_unique<TestServer>(
      QString(), QStringList{"--signin-timeout", "1", "--stall-timeout", "1", "--idle-timeout", "2",
                             "--max-per-address", "6", "--throttle", "0.5"});
  QVERIFY2(server_->running(), qPrintable(server_->log()));
  QVERIFY(server_->addAccount(kAdmin, QStringLiteral("管理员"), 0, kPassword));
  // Two sign-ins at once: the hashing they need is part of the baseline.
  auto first = signedIn(*server_, kAdmin, kPassword);
  auto second = signedIn(*server_, kAdmin, kPassword);
  QVERIFY(first && second);
  baselineKb_ = server_->peakMemoryKb();
  QVERIFY(baselineKb_ > 0);
  relaxed_ = std::make_unique<TestServer>(QString(), QStringList{"--throttle", "0.5"});
  QVERIFY2(relaxed_->running(), qPrintable(relaxed_->log()));
  QVERIFY(relaxed_->addAccount(kAdmin, QStringLiteral("管理员"), 0, kPassword));
}

void ServerLimitsTest::connectionsOutOfTimeAreClosed_data() {
  QTest::addColumn<bool>("hello");
  QTest::addColumn<bool>("signIn");
  QTest::addColumn<QByteArray>("bytes");
  QTest::addColumn<QString>("reason");
  const QString late = QStringLiteral("未在 1 秒内登录，连接已关闭");
  QTest::newRow("silent") << false << false << QByteArray() << late;
  QTest::newRow("greeted, never signs in") << true << false << QByteArray() << late;
  QTest::newRow("partial frame before sign-in")
      << true << false << (header(50) + "partial") << late;
  QTest::newRow("partial header, signed in")
      << true << true << QByteArray(2, '\0') << QStringLiteral("报文传送中断，连接已关闭");
  QTest::newRow("partial frame, signed in")
      << true << true << (header(50) + "partial") << QStringLiteral("报文传送中断，连接已关闭");
  QTest::newRow("idle, signed in")
      << true << true << QByteArray() << QStringLiteral("连接空闲时间过长，已断开");
}

void ServerLimitsTest::connectionsOutOfTimeAreClosed() {
  QFETCH(bool, hello);
  QFETCH(bool, signIn);
  QFETCH(QByteArray, bytes);
  QFETCH(QString, reason);
  WireClient client;
  QVERIFY(client.connectTo(server_->host(), server_->port(), hello));
  if (signIn) QVERIFY(client.signIn(kAdmin, kPassword).ok());
  QVERIFY(client.sendRaw(bytes));
  const std::optional<QCborMap> farewell = client.readReply();
  QVERIFY2(farewell, qPrintable(client.error()));
  QCOMPARE(protocol::replyError(*farewell), std::optional<QString>(reason));
  QVERIFY(client.waitForClosed(5000));
}

void ServerLimitsTest::oneAddressHoldsABoundedShare() {
  std::vector<std::unique_ptr<WireClient>> mine;
  for (int i = 0; i < 6; ++i) {
    mine.push_back(std::make_unique<WireClient>());
    QVERIFY(mine.back()->connectTo(server_->host(), server_->port()));
  }
  WireClient extra;
  QVERIFY(extra.connectTo(server_->host(), server_->port(), false));
  const std::optional<QCborMap> refusal = extra.readReply();
  QVERIFY(refusal);
  QCOMPARE(protocol::replyError(*refusal),
           std::optional<QString>(QStringLiteral("来自同一地址的连接过多，请稍后再试")));
  // Another address still gets in, and so does this one once a place is free.
  QVERIFY(signedIn(*server_, kAdmin, kPassword) == nullptr);
  WireClient other;
  QVERIFY2(other.connectTo(server_->host(), server_->port(), true, kElsewhere),
           qPrintable(other.error()));
  mine.clear();
  bool again = false;
  for (int attempt = 0; attempt < 100 && !again; ++attempt) {
    QTest::qWait(20);
    again = signedIn(*server_, kAdmin, kPassword) != nullptr;
  }
  QVERIFY(again);
}

void ServerLimitsTest::oversizedRequestsAreRefused_data() {
  QTest::addColumn<QByteArray>("frame");
  QTest::addColumn<QString>("error");  // the reply's reason begins with this
  QTest::addColumn<bool>("closes");
  QTest::newRow("10 MB params array")
      << openWithParams(10'000'000) << "请求过大：列表超过" << false;
  QTest::newRow("5 MB apply of empty changes")
      << applyOfEmptyChanges(5'000'000) << "请求过大：列表超过" << false;
  QTest::newRow("many changes in several lists")
      << applyOfEmptyChanges(15'000, 2, "insert") << "请求过大：一次保存超过" << false;
  QTest::newRow("one value of 2 MB")
      << select(QStringLiteral("select ? as v"), {QString(2'000'000, u'x')})
      << "请求过大：单个值超过" << false;
  QTest::newRow("a thousand params") << openWithParams(1000) << "请求过大：查询参数超过" << false;
  QTest::newRow("frame over the request limit")
      << (header(17u * 1024 * 1024) + QByteArray(64, 'x')) << "请求过大（" << true;
  QTest::newRow("zeroblob") << select(QStringLiteral("select zeroblob(500000000) as z"))
                            << "不允许使用函数 zeroblob" << false;
  // A width makes printf build its value a character at a time, past any time limit.
  QTest::newRow("printf padding") << select(QStringLiteral(
                                         "select printf('%.*c', 2147483647, 'x') as p"))
                                  << "不允许使用函数 printf" << false;
  QTest::newRow("recursive doubling")
      << select(QStringLiteral("with recursive r(x) as (select 'x' union all "
                               "select x || x from r) select length(x) as n from r"))
      << "数据过大" << false;
}

void ServerLimitsTest::oversizedRequestsAreRefused() {
  QFETCH(QByteArray, frame);
  QFETCH(QString, error);
  QFETCH(bool, closes);
  std::unique_ptr<WireClient> client = signedIn(*server_, kAdmin, kPassword);
  QVERIFY(client);
  QVERIFY(client->sendRaw(frame));
  const std::optional<QCborMap> reply = client->readReply();
  QVERIFY2(reply, qPrintable(client->error()));
  const QString reason = protocol::replyError(*reply).value_or(QString());
  QVERIFY2(reason.startsWith(error), qPrintable(reason));
  if (closes) {
    QVERIFY(client->waitForClosed(5000));
  } else {
    QVERIFY(client->open(provider(QStringLiteral("DataSetProvider_count"))).ok());
  }
}

// Run after the probes: none of them made the server hold much more than sign-ins do.
void ServerLimitsTest::memoryStaysBounded() {
  const qint64 peakKb = server_->peakMemoryKb();
  QVERIFY2(peakKb - baselineKb_ < 160 * 1024,
           qPrintable(QStringLiteral("peak %1 MiB, baseline %2 MiB")
                          .arg(peakKb / 1024)
                          .arg(baselineKb_ / 1024)));
}

// A grouping whose sort spills past the bound is refused with a message, and the server goes on.
void ServerLimitsTest::temporaryFilesAreBounded() {
  TestServer small(QString(), {"--cache-mb", "1", "--temp-mb", "2"});
  QVERIFY2(small.running(), qPrintable(small.log()));
  QVERIFY(small.addAccount(kAdmin, QStringLiteral("管理员"), 0, kPassword));
  small.sql(
      QStringLiteral("insert into info(id, name) select 'P' || x, 'N' || x from "
                     "(with recursive n(x) as (select 1 union all select x + 1 from n "
                     "where x < 600) select x from n)"));
  std::unique_ptr<WireClient> admin = signedIn(small, kAdmin, kPassword);
  QVERIFY(admin);
  const Answer<protocol::Packet> sorted = admin->select(QStringLiteral(
      "select a.id || b.id || a.name || b.name as k, count(*) as n from info a, info b "
      "group by k order by k desc"));
  QCOMPARE(sorted.error, QStringLiteral("查询所需的临时空间超过 2 MiB，请缩小查询范围"));
  QVERIFY(admin->open(provider(QStringLiteral("DataSetProvider_count"))).ok());
}

// An ordinary user's history table holds at most 200 of its rows, and its writes come from a
// budget: a loop of saves is told to wait long before it has written megabytes.
void ServerLimitsTest::onePersonsRowsAreBounded() {
  const QString person = QStringLiteral("220000000000000002");
  QVERIFY(relaxed_->addAccount(person, QStringLiteral("本人"), 2, QStringLiteral("p")));
  std::unique_ptr<WireClient> me = signedIn(*relaxed_, person, QStringLiteral("p"));
  QVERIFY(me);
  const protocol::OpenRequest own = command(schema::queries::history(u"shgx").writeBack, {person});
  const auto rows = [&](int count) {
    QList<protocol::Change> changes;
    for (int i = 0; i < count; ++i)
      changes << insert({{"id_num", *me->draw(QStringLiteral("shgx"))}, {"id", person}});
    return me->apply(apply(own, changes));
  };
  QVERIFY(rows(200).ok());
  QCOMPARE(rows(1).error, QStringLiteral("每人的社会关系最多 200 行"));

  const protocol::OpenRequest training =
      command(schema::queries::history(u"jnpx").writeBack, {person});
  const Answer<protocol::ApplyReply> inserted = me->apply(
      apply(training, {insert({{"id_num", *me->draw(QStringLiteral("jnpx"))}, {"id", person}})}));
  QVERIFY2(inserted.ok(), qPrintable(inserted.error));
  QString refusal;
  int saves = 0;
  for (; saves < 2000 && refusal.isEmpty(); ++saves) {
    const Answer<protocol::ApplyReply> saved =
        me->apply(apply(training, {update(inserted->insertedRids[0], {},
                                          {{"nr", QString(1300, QChar(u'a' + saves % 26))}})}));
    refusal = saved.error;
  }
  QCOMPARE(refusal, QStringLiteral("短时间内保存的数据过多，请稍后再试"));
  QVERIFY2(saves < 2000, qPrintable(QString::number(saves)));
}

void ServerLimitsTest::guessesAreThrottled() {
  // Each guess on a connection of its own, from another machine.
  auto guess = [this](const QString& password) {
    WireClient guesser;
    if (!guesser.connectTo(relaxed_->host(), relaxed_->port(), true, kElsewhere))
      return Answer<protocol::SignInReply>{std::nullopt, guesser.error()};
    return guesser.signIn(kAdmin, password);
  };
  QString throttled;
  int refused = 0;
  for (int i = 0; i < 6 && throttled.isEmpty(); ++i) {
    const Answer<protocol::SignInReply> reply = guess(QStringLiteral("guess"));
    if (reply.ok())
      ++refused;
    else
      throttled = reply.error;
  }
  QVERIFY2(throttled.startsWith(QStringLiteral("登录失败次数过多")), qPrintable(throttled));
  QCOMPARE(refused, 4);
  // While throttled even the right password is not tried from there…
  QVERIFY(!guess(kPassword).ok());
  QVERIFY(relaxed_->log().contains(QStringLiteral("sign-in %1 throttled").arg(kAdmin)));
  // …but the administrator, from an address that has not failed, is not kept out,
  QVERIFY(signedIn(*relaxed_, kAdmin, kPassword));
  // and the guesser's address may try again once its delay has passed.
  QTest::qWait(600);
  const Answer<protocol::SignInReply> later = guess(kPassword);
  QVERIFY2(later.ok(), qPrintable(later.error));
  QCOMPARE(later->outcome, protocol::SignInOutcome::SignedIn);
}

// One mistyped password from the real user's machine, then guesses at the same account from many
// others: the real user waits seconds at most.
void ServerLimitsTest::honestTypoIsNotHeldByGuesses() {
  const QString account = QStringLiteral("330000000000000003");
  QVERIFY(relaxed_->addAccount(account, QStringLiteral("管理员乙"), 1, kPassword));
  const auto attempt = [&](const QString& from, const QString& password) {
    WireClient client;
    if (!client.connectTo(relaxed_->host(), relaxed_->port(), true, from))
      return Answer<protocol::SignInReply>{std::nullopt, client.error()};
    return client.signIn(account, password);
  };
  const QString honest = QStringLiteral("127.0.0.3");
  QCOMPARE(attempt(honest, QStringLiteral("typo"))->outcome,
           protocol::SignInOutcome::WrongPassword);
  for (int machine = 10; machine < 20; ++machine)
    for (int guess = 0; guess < 3; ++guess)
      attempt(QStringLiteral("127.0.0.%1").arg(machine), QStringLiteral("guess"));
  QTest::qWait(2100);
  const Answer<protocol::SignInReply> signedIn = attempt(honest, kPassword);
  QVERIFY2(signedIn.ok(), qPrintable(signedIn.error));
  QCOMPARE(signedIn->outcome, protocol::SignInOutcome::SignedIn);
}

void ServerLimitsTest::clientTextCannotForgeLogLines() {
  const QString forged = QStringLiteral("2030-01-01 00:00:00.000 127.0.0.1:1 sign-in ");
  WireClient client;
  QVERIFY(client.connectTo(relaxed_->host(), relaxed_->port()));
  QVERIFY(
      client
          .signIn(QStringLiteral("x\n") + forged + kAdmin + QStringLiteral(" signed in"), kPassword)
          .ok());
  QVERIFY(client.signIn(QStringLiteral("y\r") + QString(60000, u'9'), kPassword).ok());
  QVERIFY(client.signIn(QStringLiteral("rtl\u202Eok\u200F"), kPassword).ok());
  QVERIFY(client.signIn(kAdmin, kPassword).ok());
  const std::optional<QCborMap> unknown = client.call(
      QCborMap{{QStringLiteral("op"), QStringLiteral("evil\n") + forged + QStringLiteral("op")}});
  QVERIFY(unknown);
  QCOMPARE(protocol::replyError(*unknown), std::optional<QString>(QStringLiteral("未知的请求")));
  WireClient stranger;
  QVERIFY(stranger.connectTo(relaxed_->host(), relaxed_->port(), false));
  QVERIFY(stranger.call(protocol::Hello{QStringLiteral("obj\n") + forged, 1}.toCbor()));

  const QString log = relaxed_->log();
  for (const QString& line : log.split(u'\n')) {
    QVERIFY2(!line.startsWith(forged.left(10)), qPrintable(line));
    QVERIFY2(!line.contains(QStringLiteral("evil")), qPrintable(line));
    QVERIFY2(line.size() < 400, qPrintable(line.left(200)));
  }
  QVERIFY(log.contains(QStringLiteral("sign-in x\\n2030-01-01")));
  QVERIFY(log.contains(QStringLiteral("unknown request refused")));
  QVERIFY(log.contains(QStringLiteral("rtl\\u202eok\\u200f")));
  QVERIFY(!log.contains(QChar(0x202E)));
}

// A connection repeating failed sign-ins writes a bounded number of lines a minute.
void ServerLimitsTest::repeatedLinesAreSummarised() {
  WireClient client;
  QVERIFY(client.connectTo(relaxed_->host(), relaxed_->port(), true, QStringLiteral("127.0.0.4")));
  for (int i = 0; i < 300; ++i) client.signIn(kAdmin, QStringLiteral("wrong"));
  QVERIFY(client.signIn(kAdmin, QStringLiteral("wrong"))
              .error.startsWith(QStringLiteral("登录失败次数过多")));
  const QStringList lines = relaxed_->log().split(u'\n').filter(QStringLiteral("127.0.0.4:"));
  QVERIFY2(lines.size() < 140, qPrintable(QString::number(lines.size())));
}

QTEST_GUILESS_MAIN(ServerLimitsTest)
#include "tst_server_limits.moc"
