#include "bench/load_figures.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace bench {

namespace {

ActionFigures summarise(QList<double> ms, int failed) {
  ActionFigures out;
  out.count = int(ms.size()) + failed;
  out.failed = failed;
  if (ms.isEmpty()) return out;
  std::sort(ms.begin(), ms.end());
  // The nearest rank: the smallest value at or above the share q of the values.
  const auto rank = [&ms](double q) {
    return ms[qBound<qsizetype>(0, qsizetype(std::ceil(q * ms.size())) - 1, ms.size() - 1)];
  };
  out.p50 = rank(0.5);
  out.p99 = rank(0.99);
  out.p999 = rank(0.999);
  return out;
}

}  // namespace

LoadFigures figures(const QList<Sample>& samples, double fromS, double toS) {
  LoadFigures out;
  out.seconds = toS - fromS;
  QList<QList<double>> times(kActionKinds);
  QList<int> failed(kActionKinds, 0);
  QList<double> all;
  int allFailed = 0;
  for (const Sample& s : samples) {
    if (s.atS < fromS || s.atS >= toS) continue;
    const int kind = int(s.action);
    const bool ok = s.error.isEmpty();
    if (ok) {
      times[kind] << s.ms;
    } else {
      ++failed[kind];
      ++out.failures[s.error];
    }
    if (s.action == Action::SignIn) continue;
    if (ok) {
      out.requests += s.requests;
      all << s.ms;
    } else {
      ++allFailed;
    }
  }
  for (int k = 0; k < kActionKinds; ++k) out.byAction << summarise(times[k], failed[k]);
  out.all = summarise(all, allFailed);
  return out;
}

void print(const LoadFigures& f, int indent) {
  const auto line = [indent](const char* label, const ActionFigures& a) {
    std::printf("%*s%-18s %8d %7d %9.2f %9.2f %9.2f\n", indent, "", label, a.count, a.failed,
                a.p50, a.p99, a.p999);
  };
  std::printf("%*s%-18s %8s %7s %9s %9s %9s\n", indent, "", "action", "count", "failed",
              "p50 ms", "p99 ms", "p99.9 ms");
  for (int k = 0; k < kActionKinds; ++k)
    if (f.byAction[k].count > 0) line(actionName(Action(k)), f.byAction[k]);
  line("all but sign-ins", f.all);
  std::printf("%*s%lld requests of the actions done in %.1f s: %.0f requests/s\n", indent, "",
              static_cast<long long>(f.requests), f.seconds,
              f.seconds > 0 ? f.requests / f.seconds : 0.0);
  if (f.failures.isEmpty()) return;
  std::printf("%*sfailures by message:\n", indent, "");
  for (auto i = f.failures.cbegin(); i != f.failures.cend(); ++i)
    std::printf("%*s%7d  %s\n", indent + 2, "", i.value(), qUtf8Printable(i.key()));
}

}  // namespace bench
