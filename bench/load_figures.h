#pragma once

#include <QList>
#include <QMap>
#include <QString>

#include "bench/school_load.h"

// What a load's samples say: per kind of action its count, failures and latencies, the
// requests per second, and the failures by their message.
namespace bench {

struct ActionFigures {
  int count = 0;
  int failed = 0;
  double p50 = 0, p99 = 0, p999 = 0;  // ms, of the actions that succeeded
};

struct LoadFigures {
  double seconds = 0;
  qint64 requests = 0;                  // of the actions that succeeded, sign-ins aside
  ActionFigures all;                    // every action but sign-ins
  QList<ActionFigures> byAction;        // indexed by Action
  QMap<QString, int> failures;          // message → count
};

// The figures of the samples that began within [fromS, toS).
LoadFigures figures(const QList<Sample>& samples, double fromS, double toS);

// Prints them as a table, each line indented by `indent` spaces; actions that did not occur
// are left out.
void print(const LoadFigures& figures, int indent = 2);

}  // namespace bench
