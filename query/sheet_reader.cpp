#include <QCoreApplication>
#include <QDataStream>
#include <QDir>
#include <QFileInfo>
#include <QProcess>

#include "query/sheet_cells.h"
#include "query/spreadsheet.h"

namespace spreadsheet {

namespace {

constexpr int kReadMilliseconds = 60000;
const QString kReaderName = QStringLiteral("staffinfo-sheet-reader");

// The reading program: $STAFFINFO_SHEET_READER; else the one beside this program, as the build
// puts it; else the installed one, in its libexec folder (STAFFINFO_SHEET_READER_INSTALLED,
// relative to the folder of the installed client).
QString readerProgram() {
  const QString given = qEnvironmentVariable("STAFFINFO_SHEET_READER");
  if (!given.isEmpty()) return given;
  const QDir programDir(QCoreApplication::applicationDirPath());
  const QString beside = programDir.filePath(kReaderName);
  if (QFileInfo(beside).isExecutable()) return beside;
  return QDir::cleanPath(
      programDir.filePath(QStringLiteral(STAFFINFO_SHEET_READER_INSTALLED "/") + kReaderName));
}

}  // namespace

QList<QStringList> readFirstSheet(const QString& path) {
  const QString cannot = QStringLiteral("无法读取文件 %1：").arg(path);
  QProcess reader;
  reader.setProgram(readerProgram());
  reader.setArguments({path});
  reader.setStandardInputFile(QProcess::nullDevice());
  reader.setStandardErrorFile(QProcess::nullDevice());
  reader.start();
  if (!reader.waitForStarted())
    throw Error(cannot +
                QStringLiteral("找不到或无法启动读取电子表格的程序 %1").arg(reader.program()));
  if (!reader.waitForFinished(kReadMilliseconds)) {
    reader.kill();
    reader.waitForFinished();
    throw Error(cannot + QStringLiteral("读了 %1 秒仍未读完，已停止；文件太大或已损坏")
                             .arg(kReadMilliseconds / 1000));
  }
  const QByteArray out = reader.readAllStandardOutput();
  if (reader.exitStatus() == QProcess::NormalExit && reader.exitCode() == 1 && !out.isEmpty())
    throw Error(QString::fromUtf8(out));  // the reader's own message
  QList<QStringList> cells;
  QDataStream in(out);
  in.setVersion(detail::kCellStreamVersion);
  in >> cells;
  if (reader.exitStatus() != QProcess::NormalExit || reader.exitCode() != 0 ||
      in.status() != QDataStream::Ok || !in.atEnd())
    throw Error(cannot +
                QStringLiteral("读取时出了错（读取程序异常结束），文件已损坏，或不是电子表格"));
  return cells;
}

}  // namespace spreadsheet
