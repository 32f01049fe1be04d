// Drives the real client offscreen as an administrator does, at N demo persons: Enter on the
// login form until the main list is painted, one person's basic page shown, and a save of it
// (the main list following), each beside sqlite3 alone doing the same reads (bench::PlainReader,
// the faster of the engine's settings and the server's) and the same write; and the client's
// memory for the list. Prints figures; never fails on speed.
//
//   bench_client [--postgres] [N ...]   N = 1000, 10000 and 100000 demo persons when not given
//
// With --postgres the server runs on a PostgreSQL cluster of its own, the demo file copied into
// it (timed); sqlite3 alone still reads the file, the same rows.
#include <sqlite3.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <optional>

#include "app/start.h"
#include "bench/measure.h"
#include "bench/pg_cluster.h"
#include "demo/generator.h"
#include "records/info.h"
#include "schema/queries.h"
#include "shell/forms.h"
#include "shell/login.h"
#include "shell/main.h"
#include "shell/remote_dataset.h"
#include "shell/signin.h"
#include "tests/support/client/scripted_dialogs.h"
#include "tests/support/test_database.h"
#include "tests/support/test_server.h"

namespace {

using bench::medianMs;
using bench::PlainReader;

// Runs `sql` with `param` on a write handle, in one transaction per call.
bool rawWrite(sqlite3* db, const QString& sql, const QString& param, const QString& value) {
  sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
  sqlite3_stmt* statement = nullptr;
  const QByteArray text = sql.toUtf8();
  if (sqlite3_prepare_v2(db, text.constData(), int(text.size()), &statement, nullptr) != SQLITE_OK)
    return false;
  const QByteArray v = value.toUtf8(), p = param.toUtf8();
  sqlite3_bind_text(statement, 1, v.constData(), int(v.size()), SQLITE_STATIC);
  sqlite3_bind_text(statement, 2, p.constData(), int(p.size()), SQLITE_STATIC);
  const int rc = sqlite3_step(statement);
  sqlite3_finalize(statement);
  return rc == SQLITE_DONE && sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK;
}

void line(const char* what, double client, double engine) {
  std::printf("  %-40s %10.1f %12.2f %7.1f\n", what, client, engine,
              engine > 0 ? client / engine : 0.0);
}

bool runSize(int persons, bool postgres, QList<double>* saves) {
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("bench.db"));
  if (!bench::seed(path, persons)) return false;
  std::optional<testdb::PgDatabase> pg;
  if (postgres) {
    pg.emplace();
    const std::optional<double> copied =
        bench::copyInto(TestServer::binary(), path, pg->location());
    if (!copied) return false;
    std::printf("\nN = %d persons copied into PostgreSQL in %.1f s\n", persons, *copied);
  }
  TestServer server(postgres ? pg->location() : path);
  if (!server.running()) return false;
  ScriptedDialogs dialogs;
  createForms(ServerAddress{server.host(), server.port()});

  auto* login = static_cast<Tuser_login*>(forms::find(u"user_login"));
  auto* main = static_cast<Tmain_manage*>(forms::find(u"main_manage"));
  auto* page = static_cast<Tinfo_basic*>(forms::find(u"info_basic"));
  const demo::DemoAccount& admin = demo::administrators().front();
  login->show();
  login->edit1->setText(admin.id);
  login->Edit2->setText(admin.password);
  login->repaint();
  const qint64 before = bench::heapBytes();
  QElapsedTimer timer;
  timer.start();
  login->Button1->click();
  main->DBGrid1->viewport()->repaint();
  const double toFirstRows = timer.nsecsElapsed() / 1e6;
  // The rest of the list arrives while the event loop runs; a timer every 5 ms measures the
  // longest time the loop (and so the window) was held.
  qint64 longestGap = 0, lastTick = timer.elapsed();
  QTimer ticks;
  QObject::connect(&ticks, &QTimer::timeout, [&] {
    longestGap = std::max(longestGap, timer.elapsed() - lastTick);
    lastTick = timer.elapsed();
  });
  ticks.start(5);
  while (main->search->loading()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  main->DBGrid1->viewport()->repaint();
  const double toList = timer.nsecsElapsed() / 1e6;
  ticks.stop();
  longestGap = std::max(longestGap, timer.elapsed() - lastTick);
  const int listed = main->search->recordCount();
  const qint64 after = bench::heapBytes();

  sqlite3* db = nullptr;
  sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX,
                  nullptr);
  bench::Baseline baseline(path);
  const QString person = main->search->value(listed / 2, 0).toString();
  const int runs = persons >= 100000 ? 3 : 5;

  std::printf("\nN = %d persons, %d listed\n", persons, listed);
  std::printf("  %-40s %10s %12s %7s\n", "", "client ms", "sqlite3 ms", "ratio");
  const double listRaw =
      baseline.time(runs, [](PlainReader& r) { return r.read(schema::queries::kPersonList); }).ms;
  line("Enter → first rows painted", toFirstRows, listRaw);
  line("Enter → whole list painted", toList, listRaw);
  std::printf("  %-40s %10lld ms\n", "longest the window was held meanwhile",
              qlonglong(longestGap));
  std::printf("  %-40s %10.0f bytes per listed person\n",
              "client heap for the list, above the login's",
              double(after - before) / std::max(listed, 1));

  const double show = medianMs(runs, [&] {
    page->close();
    SignIn::state().currentPersonId = person;
    forms::show(u"info_basic");
    page->repaint();
    return dialogs.errors.isEmpty();
  });
  const bench::Baseline::Figure showRaw = baseline.time(runs, [&](PlainReader& r) {
    for (const char* table : {"info", "wycd", "other_info"})
      if (!r.read(QStringLiteral("select * from %1 where id=?").arg(table), person)) return false;
    return true;
  });
  line("basic page shown", show, showRaw.ms);

  // Saves are quick at every size: more runs, so the first (cold statements) is not the median.
  int round = 0;
  const double save = medianMs(7, [&] {
    page->BitBtn1->click();
    page->Edit3->setText(QStringLiteral("族%1").arg(++round));
    dialogs.clear();
    page->BitBtn2->click();
    QCoreApplication::processEvents();  // what the change leaves to paint
    return dialogs.errors.isEmpty() && dialogs.messages == QStringList{QStringLiteral("修改成功!")};
  });
  const bench::Baseline::Figure saveRaw = baseline.time(7, [&](PlainReader& r) {
    return rawWrite(db, QStringLiteral("update info set mz=? where id=?"), person,
                    QStringLiteral("族%1").arg(++round)) &&
           r.read(schema::queries::kPersonList + QStringLiteral(" and info.id=?"), person);
  });
  line("basic page saved, main list following", save, saveRaw.ms);
  *saves << save;
  if (!dialogs.errors.isEmpty())
    std::fprintf(stderr, "errors: %s\n", qUtf8Printable(dialogs.errors.join(u'\n')));
  std::fflush(stdout);
  sqlite3_close(db);
  forms::clear();
  Connection::shared().close();
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  if (qEnvironmentVariableIsEmpty("STAFFINFO_SERVER_BIN"))
    qputenv("STAFFINFO_SERVER_BIN", STAFFINFO_SERVER_BIN_DEFAULT);
  QStringList arguments = app.arguments().mid(1);
  const bool postgres = arguments.removeAll(QStringLiteral("--postgres")) > 0;
  const std::optional<QList<int>> sizes =
      bench::sizes(arguments, "bench_client [--postgres] [N ...]");
  if (!sizes) return 2;
  std::optional<bench::PgCluster> cluster;
  if (postgres && !cluster.emplace().running()) return 1;
  QList<double> saves;
  for (int n : *sizes)
    if (!runSize(n, postgres, &saves)) return 1;
  if (saves.size() > 1)
    std::printf("\nsave at %d persons / save at %d persons: %.2f\n", sizes->back(), sizes->front(),
                saves.back() / saves.front());
  return 0;
}
