#include "shell/notifier.h"

#include <QList>
#include <QObject>

namespace notifier {

namespace {

struct Entry {
  QObject* owner;
  Listener listener;
};

QList<Entry>& listeners() {
  static QList<Entry> all;
  return all;
}

void announce(const std::optional<QString>& id) {
  const QList<Entry> now = listeners();  // a listener may add or drop listeners
  for (const Entry& entry : now) entry.listener(id);
}

}  // namespace

void listen(QObject* owner, Listener listener) {
  listeners().append({owner, std::move(listener)});
  QObject::connect(owner, &QObject::destroyed, [owner] {
    listeners().removeIf([owner](const Entry& e) { return e.owner == owner; });
  });
}

void personChanged(const QString& id) { announce(id); }

void personsChanged() { announce(std::nullopt); }

}  // namespace notifier
