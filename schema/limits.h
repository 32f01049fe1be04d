#pragma once

#include "schema/tables.h"

// How large a stored value may be, by column. One bound for both programs: the server refuses a
// longer value, and the client refuses it before sending (the import, in its preview), so a
// check that passes on the client passes on the server.
namespace schema {

// The most bytes a value of `column` may take in UTF-8: identity numbers 64, year-months 32,
// names, choices and short texts 200, long free text 4,000, passwords 128 (before hashing),
// integers 32 (as decimal text).
int maxValueBytes(const Column& column);

// True when the UTF-8 text of `value` is longer than `column` allows.
bool exceedsBound(const Column& column, QStringView value);

}  // namespace schema
