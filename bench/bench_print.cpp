// Times the printed record through the real server: one person's record read and laid out,
// painted into the print preview (what a user waits for after 打印) and written as PDF, beside
// sqlite3 alone reading the same rows; then `staffinfo print --one-file` of 1,000 persons and of
// every person. Prints figures; never fails on speed.
//
//   bench_print [N]   N demo persons, 10,000 when not given
#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QProcess>
#include <QTemporaryDir>
#include <cstdio>

#include "bench/measure.h"
#include "demo/generator.h"
#include "reports/page_writer.h"
#include "reports/person_record.h"
#include "reports/record_report.h"
#include "schema/queries.h"
#include "schema/tables.h"
#include "shell/connection.h"
#include "tests/support/test_server.h"

namespace {

using bench::medianMs;

constexpr int kRuns = 7;

void line(const char* label, double ms) { std::printf("  %-44s %10.1f ms\n", label, ms); }

// sqlite3 alone doing the reads of one print: the person's row of the ten tables, and their
// rows of the six history tables.
bool rawPrintReads(bench::PlainReader& reader, const QString& person) {
  bool ok = true;
  for (const schema::Table* t : schema::oneRowTables())
    ok = ok && reader.read(QStringLiteral("select * from %1 where id=?").arg(t->name), person);
  for (const schema::queries::HistoryQueries& q : schema::queries::history())
    ok = ok && reader.read(q.report, person);
  return ok;
}

// `staffinfo print --one-file` as the demo administrator; the wall time in seconds, or -1.
double printCommand(const TestServer& server, const QStringList& persons, const QString& out) {
  const demo::DemoAccount& admin = demo::administrators().front();
  QProcess process;
  process.setStandardErrorFile(QProcess::nullDevice());
  QElapsedTimer timer;
  timer.start();
  process.start(
      qEnvironmentVariable("STAFFINFO_CLIENT_BIN"),
      QStringList{"print", "--server", server.host() + u':' + QString::number(server.port()),
                  "--user", admin.id, "--one-file", "--out", out} +
          persons);
  process.write((admin.password + u'\n').toUtf8());
  process.closeWriteChannel();
  if (!process.waitForFinished(-1)) return -1;
  // Exit status 1 names the demo administrators, who have no rows beyond `info`.
  return process.exitCode() <= 1 ? timer.elapsed() / 1000.0 : -1;
}

bool run(int persons) {
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("bench.db"));
  const std::optional<double> seeded = bench::seed(path, persons);
  if (!seeded) return false;
  std::printf("N = %d persons (seeded in %.1f s)\n", persons, *seeded);
  TestServer server(path);
  if (!server.running()) return false;
  const demo::DemoAccount& admin = demo::administrators().front();
  Connection::shared().open({server.host(), server.port()});
  Connection::shared().signIn(admin.id, admin.password);

  // A person from the middle who has education rows.
  const QString person =
      server.sql(QStringLiteral("select id from jyqk order by rid limit 1 offset ?"), {persons / 2})
          .value(0)
          .value(0)
          .toString();
  reports::Sheet sheet;
  QList<reports::RecordReport*> recordReports;
  for (const reports::RecordReportSpec& spec : reports::recordReports())
    recordReports << new reports::RecordReport(spec, &sheet);
  QList<reports::Page> pages;
  const auto load = [&] {
    bool complete = true;
    pages = reports::printRecord(sheet, recordReports, person,
                                 [&](const QString&) { complete = false; });
    return complete;
  };
  const double loaded = medianMs(kRuns, load);

  QPrinter printer(QPrinter::HighResolution);
  printer.setPageLayout(reports::pageLayout());
  QPrintPreviewWidget preview(&printer);
  QObject::connect(&preview, &QPrintPreviewWidget::paintRequested, [&](QPrinter* device) {
    reports::PageWriter writer(*device);
    writer.write(pages);
    writer.finish();
  });
  const double previewed = medianMs(kRuns, [&] {
    preview.updatePreview();
    return preview.pageCount() == pages.size();
  });
  const QString one = dir.filePath(QStringLiteral("one.pdf"));
  const double pdf = medianMs(kRuns, [&] {
    if (!load()) return false;
    reports::writePdf(one, pages);
    return true;
  });

  bench::Baseline baseline(path);
  const double raw =
      baseline.time(kRuns, [&](bench::PlainReader& r) { return rawPrintReads(r, person); }).ms;

  std::printf("  one person (%lld pages), medians of %d\n", qlonglong(pages.size()), kRuns);
  line("read 16 datasets and lay out", loaded);
  line("  sqlite3 alone, the same reads", raw);
  line("paint into the print preview", previewed);
  line("on screen: read, lay out, preview", loaded + previewed);
  line("read, lay out, write PDF", pdf);
  std::fflush(stdout);

  QStringList ids;
  for (const QVariantList& row : server.sql(QStringLiteral("select id from info order by rid")))
    ids << row.value(0).toString();
  const QString thousand = dir.filePath(QStringLiteral("thousand.pdf"));
  const double seconds = printCommand(server, ids.mid(0, 1000), thousand);
  std::printf("  staffinfo print --one-file, 1,000 persons      %8.1f s  (%.1f MB)\n", seconds,
              QFileInfo(thousand).size() / 1e6);
  std::fflush(stdout);
  const QString all = dir.filePath(QStringLiteral("all.pdf"));
  const double everyone = printCommand(server, {QStringLiteral("--all")}, all);
  std::printf("  staffinfo print --all --one-file, %lld persons %8.1f s  (%.1f MB)\n",
              qlonglong(ids.size()), everyone, QFileInfo(all).size() / 1e6);
  Connection::shared().close();
  return loaded >= 0 && pdf >= 0 && seconds >= 0 && everyone >= 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  if (qEnvironmentVariableIsEmpty("STAFFINFO_SERVER_BIN"))
    qputenv("STAFFINFO_SERVER_BIN", STAFFINFO_SERVER_BIN_DEFAULT);
  if (qEnvironmentVariableIsEmpty("STAFFINFO_CLIENT_BIN"))
    qputenv("STAFFINFO_CLIENT_BIN", STAFFINFO_CLIENT_BIN_DEFAULT);
  int persons = 10000;
  if (argc > 1) {
    bool ok = false;
    persons = QString::fromLocal8Bit(argv[1]).toInt(&ok);
    if (!ok || persons < 1000) {
      std::fprintf(stderr, "usage: bench_print [N ≥ 1000]\n");
      return 2;
    }
  }
  return run(persons) ? 0 : 1;
}
