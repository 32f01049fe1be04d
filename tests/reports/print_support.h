#pragma once

// What the print tests share: persons seeded straight into the database, and a PDF read back
// word by word with pdftotext.
#include <QList>
#include <QString>
#include <QStringList>

class TestServer;

namespace print_test {

// A word of a PDF: its page (from 1) and the top-left of its box, in px at 96 dpi from the top-left
// of the printable area (10 mm margins).
struct Word {
  int page;
  double x;
  double y;
  QString text;
};

// Every word of the PDF at `path`; empty when it cannot be read.
QList<Word> words(const QString& path);
int pageCount(const QList<Word>& words);
// The words equal to `text`.
QList<Word> find(const QList<Word>& words, const QString& text);
// The pages (from 1) on which `text` stands as a word, in order, once per occurrence.
QList<int> pagesOf(const QList<Word>& words, const QString& text);

// `pdffonts` of the file: one line per font, after the heading.
QStringList fonts(const QString& path);

// The value seeded for one column of a one-row table of the person tagged `tag`
// ("<tag><table letter><column number>"), and for one cell of a history row.
QString value(const QString& tag, const QString& table, const QString& column);
QString historyValue(const QString& tag, const QString& table, int row, const QString& column);

// Seeds a person with rows in the ten one-row tables except `without`, and `historyRows` rows in
// each history table, holding the values above. The one-row tables store `storedId` as `id`
// (default `id`); `info.name` is `name` when given.
struct Person {
  QString id;
  QString tag;
  QStringList without = {};
  int historyRows = 1;
  QString storedId = {};
  QString name = {};
};
void seed(TestServer& server, const Person& person);

}  // namespace print_test
