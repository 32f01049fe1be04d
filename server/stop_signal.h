#pragma once

#include <QObject>
#include <functional>

// SIGTERM and SIGINT as a call on the main thread's event loop: the signal handler only writes
// a byte to a pipe that the loop watches. A second signal while the first is being handled ends
// the process at once.
namespace server {

// Calls `stop` with the signal's name, on the thread of `context`, when either signal comes.
void onStopSignal(QObject* context, std::function<void(const char* signal)> stop);

}  // namespace server
