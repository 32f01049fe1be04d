// The server's event loop: timers, sockets and wake-ups as Qt's own loop gives them. The whole
// test runs on the dispatcher (it is the main thread's), so QTest's waits drive it too.
#include <sys/socket.h>
#include <unistd.h>

#include <QEventLoop>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>
#include <QtTest>
#include <thread>

#include "server/epoll_dispatcher.h"

namespace {

struct SocketPair {
  int ends[2] = {-1, -1};
  SocketPair() { socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, ends); }
  ~SocketPair() {
    for (const int fd : ends)
      if (fd >= 0) close(fd);
  }
};

}  // namespace

class TestEpollDispatcher : public QObject {
  Q_OBJECT

 private slots:
  void runsOnTheDispatcher() {
    QVERIFY(qobject_cast<server::EpollDispatcher*>(QAbstractEventDispatcher::instance()));
  }

  void timersFireInDeadlineOrder() {
    QStringList fired;
    int ticks = 0;
    QTimer tick;
    connect(&tick, &QTimer::timeout, this, [&] { ++ticks; });
    tick.start(5);
    QTimer::singleShot(60, this, [&] { fired << "c"; });
    QTimer::singleShot(20, this, [&] { fired << "a"; });
    QTimer::singleShot(40, this, [&] {
      fired << "b";
      tick.stop();
    });
    QTimer zero;
    zero.setSingleShot(true);
    connect(&zero, &QTimer::timeout, this, [&] { fired << "zero"; });
    zero.start(0);
    QTRY_COMPARE(fired, QStringList({"zero", "a", "b", "c"}));
    QVERIFY2(ticks >= 3, qPrintable(QString::number(ticks)));
    const int stopped = ticks;
    QTest::qWait(30);
    QCOMPARE(ticks, stopped);
  }

  // A timer's handler that opens a loop of its own is not entered again from that loop, while
  // other timers go on firing in it.
  void aRunningTimerIsNotReentered() {
    int fires = 0, others = 0;
    QTimer repeat, other;
    connect(&other, &QTimer::timeout, this, [&] { ++others; });
    connect(&repeat, &QTimer::timeout, this, [&] {
      if (++fires > 1) return;
      QEventLoop nested;
      QTimer::singleShot(80, &nested, &QEventLoop::quit);
      nested.exec();
      QCOMPARE(fires, 1);
      repeat.stop();
    });
    repeat.start(5);
    other.start(5);
    QTRY_VERIFY(!repeat.isActive());
    QCOMPARE(fires, 1);
    QVERIFY2(others >= 3, qPrintable(QString::number(others)));
  }

  void socketsWakeOnlyWhenReady() {
    SocketPair pair;
    int reads = 0;
    auto notifier = std::make_unique<QSocketNotifier>(pair.ends[0], QSocketNotifier::Read);
    connect(notifier.get(), &QSocketNotifier::activated, this, [&] {
      ++reads;
      char buffer[64];
      while (read(pair.ends[0], buffer, sizeof buffer) > 0) {
      }
    });
    QTest::qWait(30);
    QCOMPARE(reads, 0);
    QCOMPARE(write(pair.ends[1], "x", 1), 1);
    QTRY_COMPARE(reads, 1);
    notifier->setEnabled(false);
    QCOMPARE(write(pair.ends[1], "y", 1), 1);
    QTest::qWait(30);
    QCOMPARE(reads, 1);
    notifier->setEnabled(true);
    QTRY_COMPARE(reads, 2);
    close(std::exchange(pair.ends[1], -1));  // the peer hangs up: readable at its end
    QTRY_VERIFY(reads > 2);

    // A descriptor closed while watched leaves epoll by itself; its number, taken again by a new
    // socket, is watched afresh, for the other kind too.
    const int number = std::exchange(pair.ends[0], -1);
    close(number);
    SocketPair next;
    QCOMPARE(next.ends[0], number);
    QSocketNotifier writable(next.ends[0], QSocketNotifier::Write);
    bool written = false;
    connect(&writable, &QSocketNotifier::activated, this, [&] {
      written = true;
      writable.setEnabled(false);
    });
    QTRY_VERIFY(written);

    // ... and by a notifier of the kind the closed socket's had.
    close(std::exchange(next.ends[0], -1));
    SocketPair again;
    QCOMPARE(again.ends[0], number);
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("second notifier"));
    QSocketNotifier readable(again.ends[0], QSocketNotifier::Read);
    bool read = false;
    connect(&readable, &QSocketNotifier::activated, this, [&] {
      read = true;
      readable.setEnabled(false);
    });
    QCOMPARE(write(again.ends[1], "z", 1), 1);
    QTRY_VERIFY(read);
    notifier.reset();
  }

  void wakesForEventsFromOtherThreads() {
    int seen = 0;
    std::thread poster([&] {
      for (int i = 0; i < 1000; ++i)
        QMetaObject::invokeMethod(
            this, [&] { ++seen; }, Qt::QueuedConnection);
    });
    QTRY_COMPARE(seen, 1000);
    poster.join();

    QThread loop;
    loop.setEventDispatcher(new server::EpollDispatcher);
    loop.start();
    QTest::qWait(20);  // blocked in its wait, with nothing due
    loop.quit();
    QVERIFY(loop.wait(2000));
  }
};

int main(int argc, char** argv) {
  QCoreApplication::setEventDispatcher(new server::EpollDispatcher);
  QCoreApplication app(argc, argv);
  TestEpollDispatcher test;
  return QTest::qExec(&test, argc, argv);
}

#include "tst_epoll_dispatcher.moc"
