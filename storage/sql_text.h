#pragma once

#include <QList>
#include <QString>
#include <optional>

// A light reading of a select text's words, enough to tell its leading keywords and where its
// result columns begin. String literals, quoted identifiers and comments are skipped whole, so
// nothing inside them is ever taken for a keyword.
namespace storage::sqltext {

struct Token {
  enum class Kind { Word, Quoted, Symbol };
  Kind kind;
  QString word;  // lower-cased, for words only
  qsizetype begin;
  qsizetype end;
};

QList<Token> tokens(QStringView text);

// A quoted SQL identifier: "name", inner quotes doubled.
QString quoted(QStringView identifier);

// The first word of the text, lower-cased ("select", "with", "delete" …); empty when the text
// starts with anything else.
QString firstKeyword(QStringView text);

// Where the result columns start: just after a leading `select`, or `select distinct` /
// `select all`. Nothing when the text does not start with `select`.
std::optional<qsizetype> resultColumnsStart(QStringView text);

// True when the text starts with `select distinct`.
bool selectsDistinct(QStringView text);

// True when the text groups rows (`group by`): its result rows then stand for no single
// stored row. GROUP is a reserved word, so it can only appear unquoted as the keyword.
bool groupsRows(QStringView text);

// The text with each `?` or `?N` mark written as `$N`, as PostgreSQL numbers parameters (a
// bare `?` takes the number after the largest so far, as SQLite numbers them), and how many
// parameters it takes.
struct NumberedMarks {
  QString text;
  int count = 0;
};
NumberedMarks numberMarks(QStringView text);

// The names called as functions: each word or double-quoted name followed by "(", except SQL
// keywords and type names that take parentheses. Lower-cased unless quoted.
QStringList calledFunctions(QStringView text);

// Of those, the ones called with more than one argument: a comma between their parentheses, or
// SQL's FROM form (trim(both 'x' from y)).
QStringList callsWithSeveralArguments(QStringView text);

// True when the text's outermost statement has an ORDER BY of its own.
bool ordersRows(QStringView text);

// One result column of the outermost select, as written.
struct SelectItem {
  QString expression;            // its text, without the alias
  std::optional<QString> alias;  // the name given with or without AS, unquoted, case kept
  bool star = false;             // `*` or `t.*`
  bool plainColumn = false;      // `col`, `t.col` or `s.t.col`
};
// The result columns of the outermost select; nothing when the text has none to read.
std::optional<QList<SelectItem>> selectItems(QStringView text);

}  // namespace storage::sqltext
