#pragma once

#include <QStringList>

// The window-less commands of filtering and import, for administrators who script their work.
// Each signs in like the client (password on standard input; --server or $STAFFINFO_SERVER)
// and runs the same code as its form. `arguments` starts with the program name. The exit
// status is 0 when everything was done, 1 when anything was refused or failed, 2 for bad
// options.
namespace query::commands {

// staffinfo export --user ID [--preset NAME | --columns GROUP/CAPTION,…] --out FILE.xlsx
int exportCommand(const QStringList& arguments);

// staffinfo import --user ID [--dry-run] FILE
int importCommand(const QStringList& arguments);

}  // namespace query::commands
