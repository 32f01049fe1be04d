// Times the export of the all-tables filter query, with every column of its first group (basic
// information) and with every column of its ten groups, end to end (the result window's open,
// then the workbook), beside sqlite3 alone running the same select (bench::PlainReader) and
// writing its rows as CSV while it steps through them, the export's goal being a multiple of the
// latter; and the import of 1,000 accounts beside the password hashing alone. Prints figures;
// never fails on speed.
//
//   bench_export_import [N]   N = 1000, 10000 or 100000 demo persons; all three when not given.
//   The import runs on the database of 1,000 persons.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>
#include <functional>
#include <string>
#include <string_view>
#include <utility>

#include "bench/measure.h"
#include "demo/generator.h"
#include "query/account_import.h"
#include "query/filter_query.h"
#include "query/result_export.h"
#include "query/spreadsheet.h"
#include "server/write_plan.h"
#include "shell/connection.h"
#include "shell/dialogs.h"
#include "shell/remote_dataset.h"
#include "shell/remote_error.h"
#include "tests/support/test_server.h"

namespace {

constexpr int kImportRows = 1000;

class Unwatched : public Progress {
 public:
  bool advance(qint64) override { return true; }
};

// The all-tables query with every box of the groups `wanted` accepts.
QString columnsOf(const std::function<bool(const filter::Group&)>& wanted) {
  return filter::compose([&](int box) {
    for (const filter::Box& b : filter::boxes())
      if (b.number == box) return wanted(filter::groupOf(b));
    return false;
  });
}

// The rows of the select as CSV, written as they are stepped through, quoting only where needed.
class CsvDump {
 public:
  explicit CsvDump(const QString& path) : out_(std::fopen(QFile::encodeName(path), "wb")) {}
  ~CsvDump() {
    if (out_) std::fclose(out_);
  }
  bool open() const { return out_ != nullptr; }

  void row(sqlite3_stmt* statement) {
    const int columns = sqlite3_column_count(statement);
    for (int c = 0; c < columns; ++c) {
      if (c) line_ += ',';
      sqlite3_value* value = sqlite3_column_value(statement, c);
      const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(value));
      const std::string_view cell(text ? text : "", size_t(sqlite3_value_bytes(value)));
      if (cell.find_first_of(",\"\n\r") == std::string_view::npos) {
        line_ += cell;
        continue;
      }
      line_ += '"';
      for (char ch : cell) {
        if (ch == '"') line_ += '"';
        line_ += ch;
      }
      line_ += '"';
    }
    line_ += '\n';
    if (line_.size() >= kChunk) flush();
  }
  bool close() {
    flush();
    return std::fclose(std::exchange(out_, nullptr)) == 0;
  }

 private:
  static constexpr size_t kChunk = 1 << 20;
  void flush() {
    std::fwrite(line_.data(), 1, line_.size(), out_);
    line_.clear();
  }
  std::FILE* out_;
  std::string line_;
};

bool csvDump(bench::PlainReader& reader, const QString& sql, const QString& path) {
  CsvDump dump(path);
  return dump.open() &&
         reader.read(sql, {}, [&dump](sqlite3_stmt* statement) { dump.row(statement); }) &&
         dump.close();
}

bool signIn(const TestServer& server) {
  const demo::DemoAccount& admin = demo::administrators().front();
  Connection& connection = Connection::shared();
  connection.close();
  connection.open(ServerAddress{server.host(), server.port()});
  return connection.signIn(admin.id, admin.password).outcome == protocol::SignInOutcome::SignedIn;
}

void timeExport(const QString& dbPath, const QString& folder, int runs, const QString& text) {
  RemoteDataset result(QStringLiteral("DataSetProvider_search"));
  result.setCommandText(text);
  Unwatched progress;
  const QString book = folder + QStringLiteral("/export.xlsx");
  try {
    result.open();
  } catch (const RemoteError& e) {
    std::printf("  export refused by the server: %s\n", qUtf8Printable(e.reason()));
    return;
  }
  double openMs = 0;
  double writeMs = 0;
  const double total = bench::medianMs(runs, [&] {
    QElapsedTimer step;
    step.start();
    result.close();
    result.open();
    openMs = step.nsecsElapsed() / 1e6;
    step.restart();
    const bool written = query::exportResult(result, book, progress);
    writeMs = step.nsecsElapsed() / 1e6;
    return written;
  });
  bench::Baseline baseline(dbPath);
  const bench::Baseline::Figure engine =
      baseline.time(runs, [&](bench::PlainReader& r) { return r.read(text); });
  const bench::Baseline::Figure csv = baseline.time(runs, [&](bench::PlainReader& r) {
    return csvDump(r, text, folder + QStringLiteral("/dump.csv"));
  });
  std::printf("  export of %d rows x %lld columns (%.1f MB xlsx)\n", result.recordCount(),
              qlonglong(result.fieldNames().size()), QFile(book).size() / 1e6);
  std::printf("    %-34s %10.1f ms   %5.2f x CSV dump\n", "export end to end", total,
              total / csv.ms);
  std::printf("    %-34s %10.1f ms\n", "  open (select, transfer, decode)", openMs);
  std::printf("    %-34s %10.1f ms\n", "  workbook written", writeMs);
  std::printf("    %-34s %10.1f ms   (%s settings)\n", "sqlite3 select alone", engine.ms,
              engine.settingsName());
  std::printf("    %-34s %10.1f ms   %5.2f x select (%s settings)\n", "sqlite3 select + CSV dump",
              csv.ms, csv.ms / engine.ms, csv.settingsName());
}

void timeImport(const QString& folder) {
  const QString book = folder + QStringLiteral("/import.xlsx");
  {
    spreadsheet::Writer writer(book, QStringLiteral("sheet1"));
    writer.text(0, 0, QStringLiteral("姓名"));
    for (int r = 1; r <= kImportRows; ++r) {
      writer.text(r, 0, QStringLiteral("导入%1").arg(r));
      writer.text(r, 1, QString::number(500101199001010000LL + r));
      writer.text(r, 2, QStringLiteral("pw%1").arg(r));
      writer.number(r, 3, 2);
    }
    writer.save();
  }
  RemoteDataset accounts(QStringLiteral("DataSetProvider_user"));
  RemoteDataset info(QStringLiteral("DataSetProvider_search"));
  query::AccountImport import(accounts, info);
  Unwatched progress;
  QElapsedTimer timer;
  timer.start();
  import.plan(book);
  const double planMs = timer.nsecsElapsed() / 1e6;
  const query::AccountImport::Outcome outcome = import.write(progress);
  const double importMs = timer.nsecsElapsed() / 1e6;

  const schema::Table& table = *schema::table(schema::kAccounts);
  QList<storage::RowWrite> rows(kImportRows);
  for (int r = 0; r < kImportRows; ++r)
    rows[r].values = {{QStringLiteral("password"), QStringLiteral("pw%1").arg(r)}};
  timer.restart();
  const bool hashed = bool(server::hashPasswords(table, rows));
  const double hashMs = timer.nsecsElapsed() / 1e6;

  std::printf("  import of %d new accounts (%d written%s), batches of %d\n", kImportRows,
              outcome.written.written(), outcome.failure.isEmpty() ? "" : ", FAILED",
              query::AccountImport::kBatchRows);
  std::printf("    %-34s %10.1f ms   %5.2f x hashing\n", "import end to end", importMs,
              importMs / hashMs);
  std::printf("    %-34s %10.1f ms\n", "  read and check", planMs);
  std::printf("    %-34s %10.1f ms%s\n", "hashing alone, all cores", hashMs,
              hashed ? "" : " (failed)");
}

bool runSize(int persons, bool withImport) {
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("bench.db"));
  const std::optional<double> seeded = bench::seed(path, persons);
  if (!seeded) return false;
  std::printf("\nN = %d persons (seeded in %.1f s)\n", persons, *seeded);
  TestServer server(path);
  if (!server.running() || !signIn(server)) return false;
  try {
    const auto basic = [](const filter::Group& g) { return g.number == 1; };
    const auto allGroups = [](const filter::Group& g) { return g.query == 0; };
    const int runs = persons >= 100000 ? 1 : 3;
    timeExport(path, dir.path(), runs, columnsOf(basic));
    timeExport(path, dir.path(), runs, columnsOf(allGroups));
    if (withImport) timeImport(dir.path());
  } catch (const std::exception& e) {
    std::fprintf(stderr, "failed: %s\n", e.what());
    return false;
  }
  std::fflush(stdout);
  Connection::shared().close();
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  if (qEnvironmentVariableIsEmpty("STAFFINFO_SERVER_BIN"))
    qputenv("STAFFINFO_SERVER_BIN", STAFFINFO_SERVER_BIN_DEFAULT);
  if (qEnvironmentVariableIsEmpty("STAFFINFO_SHEET_READER"))
    qputenv("STAFFINFO_SHEET_READER", STAFFINFO_SHEET_READER_DEFAULT);
  const std::optional<QList<int>> sizes =
      bench::sizes(app.arguments().mid(1), "bench_export_import [N ...]");
  if (!sizes) return 2;
  for (int n : *sizes)
    if (!runSize(n, n == kImportRows)) return 1;
  return 0;
}
