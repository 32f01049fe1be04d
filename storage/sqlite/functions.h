#pragma once

#include <sqlite3.h>

// SQL functions the server registers on every handle.
//
//   strim(X)               schema::trim of X as text; null stays null.
//   id_problem(X)          what is wrong with the identity number X, or null (schema/quality.h)
//   year_month_state(X)    ok, empty, invalid or future (schema/quality.h)
//
// And, in place of SQLite's own, versions of the text functions whose work grows with the
// product of their arguments' sizes there: instr(X,Y), replace(X,Y,Z) and the two-argument
// trim, ltrim and rtrim. SQLite checks a statement's time limit only between steps, so one
// call on two megabyte-long texts could run for minutes; these take time in proportion to the
// sum of the sizes, and give the same results.
namespace storage::sqlite {

void registerFunctions(sqlite3* db);

}  // namespace storage::sqlite
