#include "server/stop_signal.h"

#include <sys/socket.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <csignal>

namespace server {

namespace {

int pipeEnds[2] = {-1, -1};
volatile std::sig_atomic_t received = 0;

void handle(int signal) {
  if (received) _exit(1);  // asked twice: no more waiting
  received = signal;
  const char byte = char(signal);
  [[maybe_unused]] const ssize_t written = ::write(pipeEnds[0], &byte, 1);
}

}  // namespace

void onStopSignal(QObject* context, std::function<void(const char* signal)> stop) {
  if (::socketpair(AF_UNIX, SOCK_STREAM, 0, pipeEnds) != 0) return;
  auto* notifier = new QSocketNotifier(pipeEnds[1], QSocketNotifier::Read, context);
  QObject::connect(notifier, &QSocketNotifier::activated, context,
                   [notifier, stop = std::move(stop)] {
                     char byte = 0;
                     if (::read(pipeEnds[1], &byte, 1) != 1) return;
                     notifier->setEnabled(false);
                     stop(byte == SIGTERM ? "SIGTERM" : "SIGINT");
                   });
  struct sigaction action {};
  action.sa_handler = handle;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGINT, &action, nullptr);
}

}  // namespace server
