#pragma once

#include <QString>
#include <functional>
#include <optional>

class QObject;

// Announces that persons were added, changed or deleted, so that every main window of this
// client follows. Listeners run synchronously inside the announcing handler; an error they
// raise ends that handler like any other remote error.
namespace notifier {

// Receives the identity number of the one person that changed, or nothing when many did.
using Listener = std::function<void(const std::optional<QString>& id)>;

// Calls `listener` on every announcement until `owner` is destroyed.
void listen(QObject* owner, Listener listener);

// One person's rows or account changed, or the person was added or deleted.
void personChanged(const QString& id);
// Many persons changed at once (an import): the whole list is read again.
void personsChanged();

}  // namespace notifier
