#include "query/commands.h"

#include <QCommandLineParser>
#include <QDate>
#include <QSet>
#include <QTextStream>
#include <cstdio>

#include "query/account_import.h"
#include "query/filter_query.h"
#include "query/result_export.h"
#include "schema/changes.h"
#include "schema/completeness.h"
#include "schema/values.h"
#include "shell/dialogs.h"
#include "shell/headless.h"
#include "shell/remote_dataset.h"
#include "shell/remote_error.h"
#include "shell/signin.h"

namespace query::commands {

namespace {

constexpr int kRefusedOrFailed = 1;
constexpr int kBadOptions = 2;

// Progress on standard error, a line at each tenth of the task and at its end.
class ProgressLines : public Progress {
 public:
  ProgressLines(QString verb, qint64 total) : verb_(std::move(verb)), total_(total) {}
  bool advance(qint64 done) override {
    const qint64 tenth = total_ > 0 ? done * 10 / total_ : 10;
    if (tenth > shown_ || done == total_) {
      shown_ = tenth;
      headless::complain(QStringLiteral("%1 %2/%3").arg(verb_).arg(done).arg(total_));
    }
    return true;
  }

 private:
  QString verb_;
  qint64 total_;
  qint64 shown_ = 0;
};

// Ticks the boxes of the command line's choice: a preset by its caption, or boxes by
// "GROUP/CAPTION" (a caption alone where no other box bears it). Returns why it cannot.
QString choose(const QString& preset, const QStringList& columns, QSet<int>& ticked) {
  if (!preset.isEmpty()) {
    const QList<filter::Query>& queries = filter::queries();
    qsizetype q = 0;
    while (q < queries.size() && queries[q].preset != preset) ++q;
    if (q == queries.size()) return QStringLiteral("没有名为“%1”的默认选择").arg(preset);
    for (const filter::Box& b : filter::boxes())
      if (filter::groupOf(b).query == q) ticked << b.number;
  }
  for (const QString& wanted : columns) {
    QList<int> found;
    for (const filter::Box& b : filter::boxes())
      if (wanted == b.caption || wanted == filter::groupOf(b).caption + u'/' + b.caption)
        found << b.number;
    if (found.isEmpty()) return QStringLiteral("没有名为“%1”的列").arg(wanted);
    if (found.size() > 1) return QStringLiteral("列“%1”不止一个，请写成“组/列”").arg(wanted);
    ticked << found.first();
  }
  return {};
}

int failWith(const QString& reason, int status = kRefusedOrFailed) {
  headless::complain(reason);
  return status;
}

const QString kOut = QStringLiteral("out");
const QString kPerson = QStringLiteral("person");
const QString kSince = QStringLiteral("since");

void addOutOption(QCommandLineParser& parser) {
  parser.addOption({kOut, QStringLiteral("导出的文件"), QStringLiteral("FILE")});
}

// Signs in as headless::signIn does; the lists of the change log and of the completeness check
// are for administrators only.
void signInAdministrator(const QCommandLineParser& parser) {
  headless::signIn(parser);
  if (!SignIn::state().isAdministrator())
    throw RemoteError(QStringLiteral("只有管理员可以使用此命令"));
}

// Writes `rows` to the workbook `out` (".xlsx" added), progress on standard error, the count on
// standard output.
void writeWorkbook(const ExportRows& rows, const QString& out) {
  ProgressLines progress(QStringLiteral("已导出"), rows.records);
  exportRows(rows, withWorkbookSuffix(out), progress);
  QTextStream(stdout) << QStringLiteral("导出成功! %1 行\n").arg(rows.records);
}

}  // namespace

int exportCommand(const QStringList& arguments) {
  QCommandLineParser parser;
  parser.setApplicationDescription(QStringLiteral("把筛选结果导出为 xlsx 电子表格"));
  headless::addSignInOptions(parser);
  parser.addOption(
      {QStringLiteral("preset"), QStringLiteral("默认选择，如“个人履历”"), QStringLiteral("NAME")});
  parser.addOption({QStringLiteral("columns"),
                    QStringLiteral("要列出的列，逗号分隔，写作“组/列”，如“基本信息表/姓名”"),
                    QStringLiteral("GROUP/CAPTION,…")});
  addOutOption(parser);
  if (!parser.parse(arguments)) return failWith(parser.errorText(), kBadOptions);
  const QString preset = parser.value(QStringLiteral("preset"));
  const QStringList columns =
      parser.value(QStringLiteral("columns")).split(u',', Qt::SkipEmptyParts);
  const QString out = parser.value(kOut);
  if (out.isEmpty()) return failWith(QStringLiteral("需要 --out 文件"), kBadOptions);
  if (!preset.isEmpty() && !columns.isEmpty())
    return failWith(QStringLiteral("--preset 与 --columns 只能用一个"), kBadOptions);
  QSet<int> ticked;
  if (const QString wrong = choose(preset, columns, ticked); !wrong.isEmpty())
    return failWith(wrong, kBadOptions);

  try {
    headless::signIn(parser);
    RemoteDataset result(QStringLiteral("DataSetProvider_search"));
    result.setCommandText(filter::compose([&ticked](int box) { return ticked.contains(box); }));
    result.open();
    writeWorkbook(resultRows(result), out);
    return 0;
  } catch (const std::exception& e) {
    return failWith(QString::fromUtf8(e.what()));
  }
}

int importCommand(const QStringList& arguments) {
  QCommandLineParser parser;
  parser.setApplicationDescription(QStringLiteral("从电子表格批量导入账户"));
  headless::addSignInOptions(parser);
  parser.addOption({QStringLiteral("dry-run"), QStringLiteral("只检查并列出每行的处理，不写入")});
  parser.addPositionalArgument(QStringLiteral("FILE"),
                               QStringLiteral("xlsx、xls、ods 或 csv 文件"));
  if (!parser.parse(arguments)) return failWith(parser.errorText(), kBadOptions);
  if (parser.positionalArguments().size() != 1)
    return failWith(QStringLiteral("需要一个要导入的文件"), kBadOptions);

  try {
    headless::signIn(parser);
    RemoteDataset accounts(QStringLiteral("DataSetProvider_user"));
    RemoteDataset info(QStringLiteral("DataSetProvider_search"));
    AccountImport import(accounts, info);
    import.plan(parser.positionalArguments().first());
    QTextStream out(stdout);
    out << AccountImport::headings().join(u'\t') << u'\n';
    for (const QStringList& line : import.table()) out << line.join(u'\t') << u'\n';
    out << import.summary() << u'\n';
    const bool refused = import.planned().refused > 0;
    if (parser.isSet(QStringLiteral("dry-run"))) return refused ? kRefusedOrFailed : 0;

    ProgressLines progress(QStringLiteral("已写入"), import.planned().written());
    const AccountImport::Outcome outcome = import.write(progress);
    if (!outcome.failure.isEmpty()) return failWith(import.outcomeText(outcome));
    out << import.outcomeText(outcome) << u'\n';
    return refused || outcome.cancelled ? kRefusedOrFailed : 0;
  } catch (const std::exception& e) {
    return failWith(QString::fromUtf8(e.what()));
  }
}

int historyCommand(const QStringList& arguments) {
  QCommandLineParser parser;
  parser.setApplicationDescription(QStringLiteral("把变更记录导出为 xlsx 电子表格"));
  headless::addSignInOptions(parser);
  parser.addOption({kPerson, QStringLiteral("只列出此人的变更（身份证号）；不给则列出所有人的"),
                    QStringLiteral("ID")});
  parser.addOption({kSince, QStringLiteral("只列出这一天及以后的变更，如 2024-09-01"),
                    QStringLiteral("YYYY-MM-DD")});
  addOutOption(parser);
  if (!parser.parse(arguments)) return failWith(parser.errorText(), kBadOptions);
  const QString out = parser.value(kOut);
  const QString person = schema::trim(parser.value(kPerson));
  const QString since = schema::trim(parser.value(kSince));
  if (out.isEmpty()) return failWith(QStringLiteral("需要 --out 文件"), kBadOptions);
  if (parser.isSet(kPerson) && person.isEmpty())
    return failWith(QStringLiteral("--person 需要身份证号"), kBadOptions);
  if (parser.isSet(kSince) && !QDate::fromString(since, QStringLiteral("yyyy-MM-dd")).isValid())
    return failWith(
        QStringLiteral("--since 的日期“%1”无效，请写作 年-月-日，如 2024-09-01").arg(since),
        kBadOptions);

  try {
    signInAdministrator(parser);
    QVariantList params;
    if (!person.isEmpty()) params << person;
    if (!since.isEmpty()) params << since;
    RemoteDataset changes(QStringLiteral("DataSetProvider_search"));
    changes.setCommandText(schema::changes::listText(!person.isEmpty(), !since.isEmpty()), params);
    changes.open();
    // Tables and columns under their labels, as the change history window shows them.
    ExportRows rows = resultRows(changes);
    const int table = changes.fieldIndex(schema::changes::kTableTitle);
    rows.cell = [&changes, table, titles = rows.titles](int record, int column,
                                                        QByteArray& scratch) {
      return ExportRows::utf8(
          schema::changes::shown(titles[column], changes.value(record, table).toString(),
                                 changes.value(record, column).toString()),
          scratch);
    };
    writeWorkbook(rows, out);
    return 0;
  } catch (const std::exception& e) {
    return failWith(QString::fromUtf8(e.what()));
  }
}

int checkCommand(const QStringList& arguments) {
  QCommandLineParser parser;
  parser.setApplicationDescription(QStringLiteral("把完整性检查的结果导出为 xlsx 电子表格"));
  headless::addSignInOptions(parser);
  addOutOption(parser);
  if (!parser.parse(arguments)) return failWith(parser.errorText(), kBadOptions);
  const QString out = parser.value(kOut);
  if (out.isEmpty()) return failWith(QStringLiteral("需要 --out 文件"), kBadOptions);

  try {
    signInAdministrator(parser);
    RemoteDataset check(QStringLiteral("DataSetProvider_search"));
    const schema::completeness::Select list = schema::completeness::select();
    check.setCommandText(list.text, list.params);
    check.open();
    writeWorkbook(resultRows(check), out);
    return 0;
  } catch (const std::exception& e) {
    return failWith(QString::fromUtf8(e.what()));
  }
}

}  // namespace query::commands
