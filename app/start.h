#pragma once

#include "shell/connection.h"

// Creates every form of the run once, in start-up order, all hidden, and registers each by name
// (the registry owns them; forms::clear() destroys them): the login form first (the main form:
// closing it ends the program), the main window second (creating it opens the connection, so
// the connection stands before any form is shown). Throws RemoteError, with no form left, when
// the connection to `server` cannot be opened.
void createForms(const ServerAddress& server);

// The client's entry: `staffinfo [--server HOST[:PORT]]`, else $STAFFINFO_SERVER, else
// 127.0.0.1:7070; or a window-less command, `staffinfo NAME …`.
int runClient(int argc, char** argv);
