// Fuzz run, not a test: sends COUNT random and mutated frames (seeded) to a fresh server and
// prints what came back and how fast; exits 1 when the server stopped serving.
//   fuzz_frames [COUNT [SEED]]     (defaults: 20000 frames, seed 1)
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <cstdio>

#include "tests/support/frame_fuzzer.h"
#include "tests/support/test_server.h"

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  if (qEnvironmentVariableIsEmpty("STAFFINFO_SERVER_BIN"))
    qputenv("STAFFINFO_SERVER_BIN", STAFFINFO_SERVER_BIN_DEFAULT);
  const QStringList args = app.arguments();
  const int count = args.size() > 1 ? args[1].toInt() : 20000;
  const quint32 seed = args.size() > 2 ? args[2].toUInt() : 1;

  TestServer server(QString(),
                    {"--stall-timeout", "0.5", "--max-per-address", "1000", "--throttle", "0.01"});
  const QString admin = QStringLiteral("110000000000000000");
  if (!server.running() ||
      !server.addAccount(admin, QStringLiteral("管理员"), 0, QStringLiteral("admin"))) {
    std::fprintf(stderr, "the server did not start\n");
    return 1;
  }
  QElapsedTimer clock;
  clock.start();
  const FuzzTally tally =
      fuzzServer(server.host(), server.port(), admin, QStringLiteral("admin"), count, seed);
  const double seconds = clock.elapsed() / 1000.0;
  std::printf("seed %u: %d frames in %.1f s (%.0f frames/s); %d answered, %d connections closed\n",
              seed, tally.frames, seconds, tally.frames / seconds, tally.answered, tally.closed);
  if (!tally.failure.isEmpty()) {
    QFile log(QStringLiteral("fuzz_frames.log"));
    if (log.open(QIODevice::WriteOnly)) log.write(server.log().toUtf8());
    std::printf("FAILED: %s\nthe server's log is in fuzz_frames.log\n", qPrintable(tally.failure));
    return 1;
  }
  std::printf("the server kept serving; peak memory %lld MiB\n",
              static_cast<long long>(server.peakMemoryKb() / 1024));
  return 0;
}
