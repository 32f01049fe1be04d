#pragma once

#include <memory>
#include <vector>

#include "shell/connection.h"

class Form;

// Every form of the run, created once in start-up order, all hidden, and registered by name:
// the login form first (the main form: closing it ends the program), the main window second
// (creating it opens the connection, so the connection stands before any form is shown).
class Program {
 public:
  // Throws RemoteError when the connection to `server` cannot be opened.
  explicit Program(const ServerAddress& server);
  ~Program();

 private:
  std::vector<std::unique_ptr<Form>> forms_;
};

// The client's entry: `staffinfo [--server HOST[:PORT]]`, else $STAFFINFO_SERVER, else
// 127.0.0.1:7070.
int runClient(int argc, char** argv);
