#include <QStringDecoder>
#include <algorithm>

#include "query/sheet_cells.h"
#include "query/spreadsheet.h"

namespace spreadsheet::detail {

namespace {

using Flag = QStringConverter::Flag;

Error unreadable(qsizetype line) {
  return Error(QStringLiteral("第 %1 行有无法识别的字符：文件既不是完好的 UTF-8 文本，也不是 "
                              "GB18030 文本。请把它另存为 UTF-8 编码的 CSV 文件后再试")
                   .arg(line));
}

// The first line (from 1) that `decoder` cannot read; 0 when it reads them all.
qsizetype firstBadLine(QStringDecoder& decoder, const QList<QByteArrayView>& lines) {
  for (qsizetype i = 0; i < lines.size(); ++i) {
    decoder.resetState();
    const QString text = decoder.decode(lines[i]);  // decoding happens on conversion
    if (decoder.hasError()) return i + 1;
  }
  return 0;
}

}  // namespace

QString csvText(const QByteArray& bytes) {
  if (const auto marked = QStringConverter::encodingForData(bytes)) {
    QStringDecoder decoder(*marked, Flag::Stateless);
    const QString text = decoder.decode(bytes);
    if (decoder.hasError())
      throw unreadable(text.left(text.indexOf(QChar::ReplacementCharacter)).count(u'\n') + 1);
    return text.startsWith(QChar::ByteOrderMark) ? text.mid(1) : text;
  }

  QList<QByteArrayView> lines;
  for (qsizetype start = 0; start <= bytes.size();) {
    qsizetype end = bytes.indexOf('\n', start);
    if (end < 0) end = bytes.size();
    lines << QByteArrayView(bytes).sliced(start, end - start);
    start = end + 1;
  }
  // Text holds no zero bytes: a binary file is no CSV.
  for (qsizetype i = 0; i < lines.size(); ++i)
    if (lines[i].contains('\0'))
      throw Error(QStringLiteral("它不是电子表格：第 %1 行有不是文字的字节").arg(i + 1));

  QStringDecoder utf8(QStringDecoder::Utf8, Flag::Stateless);
  qsizetype valid = 0, invalid = 0, firstInvalid = 0;
  for (qsizetype i = 0; i < lines.size(); ++i) {
    if (std::all_of(lines[i].begin(), lines[i].end(), [](char c) { return uchar(c) < 0x80; }))
      continue;
    utf8.resetState();
    const QString text = utf8.decode(lines[i]);
    if (!utf8.hasError())
      ++valid;
    else if (++invalid == 1)
      firstInvalid = i + 1;
  }
  if (invalid == 0) return QString::fromUtf8(bytes);
  // Chinese in GB18030 is seldom valid UTF-8 line after line; a UTF-8 file with a bad byte is.
  if (valid >= invalid) throw unreadable(firstInvalid);

  QStringDecoder gb("GB18030", Flag::Stateless);
  if (!gb.isValid()) throw unreadable(firstInvalid);
  if (const qsizetype bad = firstBadLine(gb, lines); bad > 0) throw unreadable(bad);
  gb.resetState();
  return gb.decode(bytes);
}

}  // namespace spreadsheet::detail
