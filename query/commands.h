#pragma once

#include <QStringList>

// The window-less commands of filtering, import, the change history and the completeness
// check, for administrators who script their work.
// Each signs in like the client (password on standard input; --server or $STAFFINFO_SERVER)
// and runs the same code as its form. `arguments` starts with the program name. The exit
// status is 0 when everything was done, 1 when anything was refused or failed, 2 for bad
// options.
namespace query::commands {

// staffinfo export --user ID [--preset NAME | --columns GROUP/CAPTION,…] --out FILE.xlsx
int exportCommand(const QStringList& arguments);

// staffinfo import --user ID [--dry-run] FILE
int importCommand(const QStringList& arguments);

// staffinfo history --user ID [--person ID] [--since YYYY-MM-DD] --out FILE.xlsx: the change
// history of one person, or of everyone, newest first, as the change history window shows it,
// with the person's identity number first; --since keeps the changes from that day on.
// Administrators only.
int historyCommand(const QStringList& arguments);

// staffinfo check --user ID --out FILE.xlsx: the completeness list of the 完整性检查 window.
// Administrators only.
int checkCommand(const QStringList& arguments);

}  // namespace query::commands
