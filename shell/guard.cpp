#include "shell/guard.h"

#include "shell/dialogs.h"
#include "shell/remote_error.h"

void guarded(QWidget* parent, const std::function<void()>& handler) {
  try {
    handler();
  } catch (const RemoteError& e) {
    Dialogs::current().error(parent, e.reason());
  } catch (const std::exception& e) {
    Dialogs::current().error(parent, QString::fromUtf8(e.what()));
  }
}
