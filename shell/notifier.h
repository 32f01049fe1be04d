#pragma once

#include <functional>

// Announces that persons were added, changed or deleted, so that the main window re-reads its
// list. Listeners run synchronously inside the announcing handler; an error they raise ends
// that handler like any other remote error.
namespace notifier {

void setPersonsChangedListener(std::function<void()> listener);
void personsChanged();

}  // namespace notifier
