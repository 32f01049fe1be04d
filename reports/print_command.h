#pragma once

#include <QStringList>

namespace reports {

// `staffinfo print --user ID [--server HOST[:PORT]] [--one-file] [--all] --out PATH
// [PERSON_ID…]`: the printed record of each person, as the preview shows it, without windows.
// The password comes as one line on standard input. Without --one-file PATH is a folder that
// gets one PDF per person, named by the identity number; with it PATH is the one PDF that holds
// every person in turn. --all adds every person of `info`. A person whose record lacks rows of
// the sheet's tables is printed as the preview shows them, those values empty, and the missing
// tables are named on standard error; a person with no row in any of them, or whose rows cannot
// be read, is not printed and is named there too, as is the progress. `arguments` start with
// the program's name. Returns 0 when every person was printed, 1 when some were not, 2 when
// printing could not start or the one file could not be written.
int printCommand(const QStringList& arguments);

}  // namespace reports
