#pragma once

#include <QString>

#include "tests/support/client/scripted_dialogs.h"
#include "tests/support/test_server.h"

// What a client test runs in: a fresh server on loopback, every form of program start created
// against it (which opens the shared connection), the recording dialog service, and an empty
// sign-in state. One fixture per test class keeps the suite quick; `restart()` builds a fresh
// set of forms over the same database.
class ClientFixture {
 public:
  ClientFixture();
  ~ClientFixture();

  // Destroys the forms, clears the sign-in state and the recorded dialogs, creates the forms
  // again (reconnecting).
  void restart();
  // Signs in through the login form, as a user would: types both edits and clicks 登  录.
  void signIn(const QString& id, const QString& password);
  // Creates an account (and its `info` row) directly through the server's sub-command.
  void addAccount(const QString& id, const QString& name, int role,
                  const QString& password = QStringLiteral("pw"));

  TestServer server;
  ScriptedDialogs dialogs;
};
