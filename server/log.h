#pragma once

#include <QString>

#include "server/status.h"

// One line per event, stamped with the time; safe from any thread. Lines go to standard error
// (the journal, under systemd) or to a file that is rotated by size, so no client can fill the
// disk with them.
namespace server {

// Writes one line. Control, format and direction characters and backslashes in `text` are
// escaped (\n, \x1b, \u202e, \\…), so nothing a client sends can start a line of its own or
// make a line read other than it is written; a line is cut at kMaxLineChars.
void logLine(const QString& text);

// A line about a client at `address`. Per address and `kind` of event, the first kClientBurst
// lines of a minute are written and the rest only counted, then summarised in one line ("… N
// more like this in the last minute") once the minute is over; all clients together write at
// most kClientLinesPerMinute lines a minute in the same way.
void logClient(const QString& address, const QString& kind, const QString& text);

// Writes the summaries of minutes that are over; the server calls it every few seconds, and
// with `all` before it ends, for every count still open.
void flushLogSummaries(bool all = false);

// From now on lines go to the file at `path` (created, or appended to). When it grows past
// `maxBytes` it is renamed `path.1` (an older `path.1` to `path.2` …, keeping `keep`) and a new
// one is started.
Status logToFile(const QString& path, qint64 maxBytes = 16 * 1024 * 1024, int keep = 3);

// A client-sent value (identity number, provider, hello field…) cut to at most `chars`
// characters, the cut marked with how much was left out.
QString clipped(const QString& value, qsizetype chars = 64);

inline constexpr qsizetype kMaxLineChars = 2000;
inline constexpr int kClientBurst = 60;
inline constexpr int kClientLinesPerMinute = 3000;

}  // namespace server
