// staffinfo-sheet-reader FILE: reads the first worksheet of FILE for the client, which starts
// it for every file it reads (query/sheet_reader.cpp). The spreadsheet libraries parse
// whatever a file holds; here a fault of theirs on a damaged or hostile file ends this process
// only, and no file can take more than kMemoryBytes of memory.
//
// Exit status 0: standard output holds the cells (QDataStream of QList<QStringList>).
// Exit status 1: standard output holds why the file cannot be read, in UTF-8, fit to show.
#include <sys/resource.h>

#include <QDataStream>
#include <QFile>
#include <cstdio>

#include "query/sheet_cells.h"
#include "query/spreadsheet.h"

namespace {

constexpr rlim_t kMemoryBytes = rlim_t(1) << 30;

void writeOut(const QByteArray& bytes) {
  std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fputs("usage: staffinfo-sheet-reader FILE\n", stderr);
    return 2;
  }
  const rlimit memory{kMemoryBytes, kMemoryBytes};
  setrlimit(RLIMIT_AS, &memory);
  const QString path = QFile::decodeName(argv[1]);
  try {
    const QList<QStringList> cells = spreadsheet::detail::readSheetFile(path);
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out.setVersion(spreadsheet::detail::kCellStreamVersion);
    out << cells;
    writeOut(bytes);
    return 0;
  } catch (const spreadsheet::Error& e) {
    writeOut(e.what());
  } catch (const std::bad_alloc&) {
    writeOut(QStringLiteral("无法读取文件 %1：读取它需要的内存超过了限制，文件太大或已损坏")
                 .arg(path)
                 .toUtf8());
  }
  return 1;
}
