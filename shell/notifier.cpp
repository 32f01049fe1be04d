#include "shell/notifier.h"

namespace notifier {

namespace {
std::function<void()>& listener() {
  static std::function<void()> current;
  return current;
}
}  // namespace

void setPersonsChangedListener(std::function<void()> l) { listener() = std::move(l); }

void personsChanged() {
  if (listener()) listener()();
}

}  // namespace notifier
