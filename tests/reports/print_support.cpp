#include "tests/reports/print_support.h"

#include <QProcess>
#include <QXmlStreamReader>
#include <functional>

#include "schema/tables.h"
#include "tests/support/test_server.h"

namespace print_test {

namespace {

constexpr double kPxPerPt = 96.0 / 72;
constexpr double kMarginPx = 10 * 96 / 25.4;

QByteArray run(const QString& program, const QStringList& arguments) {
  QProcess process;
  process.start(program, arguments);
  if (!process.waitForFinished(60000) || process.exitCode() != 0) return {};
  return process.readAllStandardOutput();
}

// The letter standing for a table in seeded values: A… in schema order.
QChar letterOf(const QString& table) {
  const QList<schema::Table>& all = schema::tables();
  for (int i = 0; i < all.size(); ++i)
    if (all[i].name == table) return QChar(u'A' + i);
  return u'?';
}

int columnNumber(const QString& table, const QString& column) {
  return int(schema::table(table)->columnNames().indexOf(column));
}

void insert(TestServer& server, const schema::Table& table,
            const std::function<QVariant(const QString& column)>& valueOf) {
  const QStringList columns = table.columnNames();
  QVariantList values;
  for (const QString& column : columns) values << valueOf(column);
  server.sql(QStringLiteral("insert into %1 (\"%2\") values (%3)")
                 .arg(table.name, columns.join(QStringLiteral("\",\"")),
                      QStringList(columns.size(), QStringLiteral("?")).join(u',')),
             values);
}

}  // namespace

QList<Word> words(const QString& path) {
  QXmlStreamReader xml(run(QStringLiteral("pdftotext"), {QStringLiteral("-bbox"), path, "-"}));
  QList<Word> found;
  int page = 0;
  while (!xml.atEnd()) {
    if (xml.readNext() != QXmlStreamReader::StartElement) continue;
    if (xml.name() == u"page") ++page;
    if (xml.name() != u"word") continue;
    const double x =
        xml.attributes().value(QLatin1StringView("xMin")).toDouble() * kPxPerPt - kMarginPx;
    const double y =
        xml.attributes().value(QLatin1StringView("yMin")).toDouble() * kPxPerPt - kMarginPx;
    found.append({page, x, y, xml.readElementText()});
  }
  return found;
}

int pageCount(const QList<Word>& words) { return words.isEmpty() ? 0 : words.last().page; }

QList<Word> find(const QList<Word>& words, const QString& text) {
  QList<Word> found;
  for (const Word& w : words)
    if (w.text == text) found.append(w);
  return found;
}

QList<int> pagesOf(const QList<Word>& words, const QString& text) {
  QList<int> pages;
  for (const Word& w : find(words, text)) pages.append(w.page);
  return pages;
}

QStringList fonts(const QString& path) {
  QStringList lines =
      QString::fromUtf8(run(QStringLiteral("pdffonts"), {path})).split(u'\n', Qt::SkipEmptyParts);
  return lines.mid(2);
}

QString value(const QString& tag, const QString& table, const QString& column) {
  return tag + letterOf(table) + QString::number(columnNumber(table, column));
}

QString historyValue(const QString& tag, const QString& table, int row, const QString& column) {
  return tag + letterOf(table) + QString::number(row) + QChar(u'a' + columnNumber(table, column));
}

void seed(TestServer& server, const Person& person) {
  const QString stored = person.storedId.isEmpty() ? person.id : person.storedId;
  for (const schema::Table* table : schema::oneRowTables()) {
    if (person.without.contains(table->name)) continue;
    insert(server, *table, [&](const QString& column) -> QVariant {
      if (column == u"id") return stored;
      if (column == u"name" && !person.name.isEmpty()) return person.name;
      return value(person.tag, table->name, column);
    });
  }
  static qint64 nextNumber = 1;
  for (const schema::Table* table : schema::historyTables())
    for (int row = 1; row <= person.historyRows; ++row)
      insert(server, *table, [&](const QString& column) -> QVariant {
        if (column == u"id_num") return nextNumber++;
        if (column == u"id") return person.id;
        return historyValue(person.tag, table->name, row, column);
      });
}

}  // namespace print_test
