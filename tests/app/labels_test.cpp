// A column's label is written in several places: the table definitions, the aliases of the
// select texts, the filter form's boxes, the record pages' labels and the record reports'
// headings. They must name each column alike; the few that word it differently on purpose are
// listed below with the reason.
#include <QRegularExpression>
#include <QSet>
#include <QTest>

#include "query/filter_query.h"
#include "records/info.h"
#include "records/other_info.h"
#include "reports/record_report.h"
#include "schema/queries.h"
#include "schema/tables.h"

namespace {

struct Label {
  QString source;
  QString table;
  QString column;
  QString label;
};

// Every "[table.]column as alias" of a select text; a column without a table prefix belongs to
// the text's first table after "from".
QList<Label> aliases(const QString& source, const QString& text) {
  static const QRegularExpression alias(QStringLiteral(R"((?:(\w+)\.)?(\w+)\s+as\s+([^\s,]+))"));
  static const QRegularExpression from(QStringLiteral(R"(\bfrom\s+(\w+))"));
  const QString fromTable = from.match(text).captured(1);
  QList<Label> found;
  for (const QRegularExpressionMatch& m : alias.globalMatch(text)) {
    const QString table = m.captured(1).isEmpty() ? fromTable : m.captured(1);
    found.append({source, table, m.captured(2), m.captured(3)});
  }
  return found;
}

QList<Label> allLabels() {
  QList<Label> all = aliases(QStringLiteral("main list"), schema::queries::kPersonList);
  for (const schema::queries::HistoryQueries& h : schema::queries::history())
    all += aliases(QStringLiteral("history query"), h.display);
  for (const filter::Query& q : filter::queries())
    all += aliases(QStringLiteral("filter query"), q.head);
  for (const filter::Box& box : filter::boxes())
    all += aliases(QStringLiteral("filter box ") + box.caption, box.text);
  Tinfo_basic basic;
  Tinfo_other other;
  for (const records::RecordPage* page :
       {static_cast<records::RecordPage*>(&basic), static_cast<records::RecordPage*>(&other)})
    for (const records::Field& f : page->fields())
      if (!f.inLine) all.append({page->objectName(), f.table, f.column, f.label});
  for (const reports::RecordReportSpec& r : reports::recordReports())
    for (const reports::RecordColumn& c : r.columns)
      all.append({r.form, r.table, c.column, c.heading});
  return all;
}

}  // namespace

class LabelsTest : public QObject {
  Q_OBJECT

 private slots:
  void everyLabelNamesItsColumnAsTheTableDoes() {
    // Worded differently on purpose, by the page, the filter form or the printed report: a
    // longer or shorter label where the group around it already says what it is.
    const QSet<QString> worded = {
        QStringLiteral("info_basic wycd.xljg 获得最高学历的院校和机构"),
        QStringLiteral("info_basic other_info.address 住址"),
        QStringLiteral("info_other gwxx.zszq 证书颁发日期"),
        QStringLiteral("info_other zyjs.zyjszc 专业技术职务1"),
        QStringLiteral("filter box 单位 jwpx.dw 单位"),
        QStringLiteral("filter box 国家/地区 jwpx.gj 国家地区"),
        QStringLiteral("jyqk_report jyqk.xwdw 授予单位"),
        QStringLiteral("jwpx_report jwpx.dw 单位"),
        QStringLiteral("jwpx_report jwpx.gj 国家/地区"),
    };
    QStringList differing;
    int checked = 0;
    for (const Label& l : allLabels()) {
      const schema::Table* table = schema::table(l.table);
      const schema::Column* column = table ? table->column(l.column) : nullptr;
      if (!column) {
        differing << QStringLiteral("%1: no column %2.%3").arg(l.source, l.table, l.column);
        continue;
      }
      ++checked;
      const QString line = QStringLiteral("%1 %2.%3 %4").arg(l.source, l.table, l.column, l.label);
      if (column->label != l.label && !worded.contains(line))
        differing << line + QStringLiteral(" (table: %1)").arg(column->label);
    }
    QVERIFY2(differing.isEmpty(), qUtf8Printable(differing.join(u'\n')));
    QVERIFY(checked > 150);  // every source was read
  }
};

QTEST_MAIN(LabelsTest)
#include "labels_test.moc"
