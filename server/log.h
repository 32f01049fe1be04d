#pragma once

#include <QString>

// One line per event on standard error, stamped with the time; safe from any thread.
namespace server {

// Writes one line. Control characters and backslashes in `text` are escaped (\n, \x1b, \\…),
// so nothing a client sends can start a line of its own; a line is cut at kMaxLineChars.
void logLine(const QString& text);

// A client-sent value (identity number, provider, hello field…) cut to at most `chars`
// characters, the cut marked with how much was left out.
QString clipped(const QString& value, qsizetype chars = 64);

inline constexpr qsizetype kMaxLineChars = 2000;

}  // namespace server
