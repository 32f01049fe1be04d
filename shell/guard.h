#pragma once

#include <functional>

class QWidget;

// Runs an event handler; an error it raises (RemoteError or any std::exception) ends it there and
// is shown in the standard error box. No exception ever crosses the Qt event loop.
void guarded(QWidget* parent, const std::function<void()>& handler);
