#pragma once

#include <QString>

// One line per event on standard error, stamped with the time; safe from any thread.
namespace server {

void logLine(const QString& text);

}  // namespace server
