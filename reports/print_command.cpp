#include "reports/print_command.h"

#include <QCommandLineParser>
#include <QDir>
#include <memory>

#include "reports/page_writer.h"
#include "reports/person_record.h"
#include "reports/record_report.h"
#include "reports/sheet.h"
#include "schema/values.h"
#include "shell/headless.h"
#include "shell/remote_dataset.h"

namespace reports {

namespace {

using headless::complain;

const QCommandLineOption kOneFile(QStringLiteral("one-file"),
                                  QStringLiteral("所有人员写入同一个 PDF 文件（PATH 为文件）"));
const QCommandLineOption kAll(QStringLiteral("all"),
                              QStringLiteral("打印所有人员（info 表中的每个身份证号）"));
const QCommandLineOption kOut(QStringLiteral("out"),
                              QStringLiteral("输出文件夹，每人一个以身份证号命名的 PDF；"
                                             "或 --one-file 时的 PDF 文件"),
                              QStringLiteral("PATH"));

// The identity number of every person with an `info` row, in stored order, each once.
QStringList everyPerson() {
  RemoteDataset info(QStringLiteral("DataSetProvider_info"));
  info.open();
  QStringList ids;
  for (info.first(); !info.eof(); info.next()) ids << schema::trim(info.fieldText(u"id"));
  ids.removeAll(QString());
  return ids;
}

// The file of one person in the output folder: the identity number with every character that
// could leave the folder or trouble a file system replaced.
QString fileOf(const QString& folder, const QString& person) {
  QString name = person;
  for (QChar& c : name)
    if (!c.isLetterOrNumber() && c != u'-' && c != u'_') c = u'_';
  return QDir(folder).filePath(name + QStringLiteral(".pdf"));
}

// Prints each person in turn and counts the ones that could not be printed.
class BatchPrint {
 public:
  BatchPrint(const QString& out, bool oneFile) : out_(out) {
    for (const RecordReportSpec& spec : recordReports())
      recordReports_.append(new RecordReport(spec, &sheet_));
    if (oneFile)
      file_ = std::make_unique<PdfFile>(out);
    else if (!QDir().mkpath(out))
      throw std::runtime_error(QStringLiteral("无法创建文件夹 %1").arg(out).toStdString());
  }

  void print(const QString& person, int number, int count) {
    complain(QStringLiteral("打印 %1/%2：%3").arg(number).arg(count).arg(person));
    QStringList messages;
    try {
      const QList<Page> pages = printRecord(sheet_, recordReports_, person,
                                            [&](const QString& text) { messages << text; });
      // As in the preview, a table without the person's row prints empty values; only a
      // person found in none of them (an unknown number) is not printed.
      const QString missing = messages.join(QStringLiteral("；"));
      if (!sheet_.foundPerson()) return fail(person, missing);
      if (!missing.isEmpty())
        complain(QStringLiteral("%1 的记录不全，缺少的值打印为空：%2").arg(person, missing));
      if (file_)
        file_->write(pages);
      else
        writePdf(fileOf(out_, person), pages);
      ++printed_;
    } catch (const std::exception& e) {
      fail(person, QString::fromUtf8(e.what()));
    }
  }

  // Completes the one file (when any person went into it); returns the exit status.
  int finish() {
    if (file_ && printed_ > 0) file_->finish();
    if (!failed_.isEmpty()) {
      complain(QStringLiteral("未能打印 %1 人：%2").arg(failed_.size()).arg(failed_.join(u' ')));
      return 1;
    }
    complain(QStringLiteral("已打印 %1 人到 %2").arg(printed_).arg(out_));
    return 0;
  }

 private:
  void fail(const QString& person, const QString& reason) {
    complain(QStringLiteral("%1 未能打印：%2").arg(person, reason));
    failed_ << person;
  }

  QString out_;
  Sheet sheet_;
  QList<RecordReport*> recordReports_;
  std::unique_ptr<PdfFile> file_;
  int printed_ = 0;
  QStringList failed_;
};

}  // namespace

int printCommand(const QStringList& arguments) {
  QCommandLineParser parser;
  parser.setApplicationDescription(
      QStringLiteral("把教职工的完整记录（基本信息表和六个记录表）打印为 PDF"));
  parser.addHelpOption();
  headless::addSignInOptions(parser);
  parser.addOptions({kOneFile, kAll, kOut});
  parser.addPositionalArgument(QStringLiteral("PERSON_ID"), QStringLiteral("要打印的身份证号"),
                               QStringLiteral("[PERSON_ID…]"));
  if (!parser.parse(arguments)) {
    complain(parser.errorText());
    return 2;
  }
  if (parser.isSet(QStringLiteral("help"))) parser.showHelp(0);
  QStringList persons;
  for (const QString& id : parser.positionalArguments()) persons << schema::trim(id);
  persons.removeAll(QString());
  if (!parser.isSet(kOut) || (persons.isEmpty() && !parser.isSet(kAll))) {
    complain(QStringLiteral("需要 --out PATH，以及身份证号或 --all"));
    return 2;
  }
  try {
    headless::signIn(parser);
    for (const QString& warning : fontWarnings()) complain(warning);
    BatchPrint batch(parser.value(kOut), parser.isSet(kOneFile));
    if (parser.isSet(kAll)) persons << everyPerson();
    persons.removeDuplicates();
    for (int i = 0; i < persons.size(); ++i) batch.print(persons[i], i + 1, int(persons.size()));
    return batch.finish();
  } catch (const std::exception& e) {
    complain(QString::fromUtf8(e.what()));
    return 2;
  }
}

}  // namespace reports
