#pragma once

#include <QSet>
#include <QString>
#include <QVariant>
#include <iterator>
#include <random>

#include "schema/tables.h"

// Plausible values for demo persons, drawn from a seeded generator so that a seed always gives
// the same database.
namespace demo {

class Random {
 public:
  explicit Random(quint64 seed) : engine_(seed) {}
  // A whole number in [low, high].
  int between(int low, int high) { return low + int(engine_() % quint64(high - low + 1)); }
  bool chance(int percent) { return between(1, 100) <= percent; }
  template <typename List>
  const auto& pick(const List& items) {
    return items[between(0, int(std::size(items)) - 1)];
  }

 private:
  std::mt19937_64 engine_;
};

struct Person {
  QString id;  // 18 characters, with a valid check character
  QString name;
  bool male = true;
  int birthYear = 1980;
  int birthMonth = 1;
};

// A new person whose identity number is not in `taken` (and is added to it).
Person makePerson(Random& random, QSet<QString>& taken);

// A value for `column` of `table` for this person: choices from the system's lists, year-months
// after the birth date, phone numbers, places and so on.
QVariant makeValue(Random& random, const Person& person, const schema::Table& table,
                   const schema::Column& column);

// A Chinese personal name.
QString makeName(Random& random);

}  // namespace demo
