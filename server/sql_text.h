#pragma once

#include <QList>
#include <QString>
#include <optional>

// A light reading of a select text's words, enough to tell its leading keywords and where its
// result columns begin. String literals, quoted identifiers and comments are skipped whole, so
// nothing inside them is ever taken for a keyword.
namespace server::sqltext {

struct Token {
  enum class Kind { Word, Quoted, Symbol };
  Kind kind;
  QString word;  // lower-cased, for words only
  qsizetype begin;
  qsizetype end;
};

QList<Token> tokens(QStringView text);

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

}  // namespace server::sqltext
