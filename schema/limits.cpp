#include "schema/limits.h"

namespace schema {

int maxValueBytes(const Column& column) {
  switch (column.kind) {
    case Kind::IdentityNumber:
      return 64;
    case Kind::YearMonth:
      return 32;
    case Kind::LongText:
      return 4000;
    case Kind::Password:
      return 128;
    case Kind::Integer:
      return 32;
    case Kind::Text:
    case Kind::Choice:
    case Kind::NumberText:
      break;
  }
  return 200;
}

bool exceedsBound(const Column& column, QStringView value) {
  // A UTF-16 unit takes at most 3 bytes in UTF-8: most values are decided without encoding.
  const int bound = maxValueBytes(column);
  if (value.size() * 3 <= bound) return false;
  return value.toUtf8().size() > bound;
}

}  // namespace schema
