#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>
#include <charconv>
#include <cstdio>

#include "query/part_pipe.h"
#include "query/spreadsheet.h"
#include "query/zip_write.h"

namespace spreadsheet {

namespace {

constexpr qsizetype kSheetChunk = 256 * 1024;  // XML handed to the archive at a time

const char* const kXmlDeclaration =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n";
const char* const kMain = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
const char* const kRelations = "http://schemas.openxmlformats.org/package/2006/relationships";
const char* const kDocumentRelations =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships";

QByteArray contentTypes() {
  const QByteArray office = "application/vnd.openxmlformats-officedocument.spreadsheetml.";
  return QByteArray(kXmlDeclaration) +
         "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
         "<Default Extension=\"rels\" "
         "ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
         "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
         "<Override PartName=\"/xl/workbook.xml\" ContentType=\"" +
         office +
         "sheet.main+xml\"/>"
         "<Override PartName=\"/xl/worksheets/sheet1.xml\" ContentType=\"" +
         office +
         "worksheet+xml\"/>"
         "<Override PartName=\"/xl/styles.xml\" ContentType=\"" +
         office + "styles+xml\"/></Types>";
}

QByteArray relations(const QList<std::pair<const char*, const char*>>& targets) {
  QByteArray xml = QByteArray(kXmlDeclaration) + "<Relationships xmlns=\"" + kRelations + "\">";
  for (qsizetype i = 0; i < targets.size(); ++i)
    xml += "<Relationship Id=\"rId" + QByteArray::number(i + 1) + "\" Type=\"" +
           kDocumentRelations + '/' + targets[i].first + "\" Target=\"" + targets[i].second +
           "\"/>";
  return xml + "</Relationships>";
}

// XML text: markup characters as entities, control characters as _xHHHH_ (as Excel writes
// them: XML cannot carry them).
void appendEscaped(QByteArray& xml, QByteArrayView text) {
  qsizetype plain = 0;
  for (qsizetype i = 0; i < text.size(); ++i) {
    const uchar c = uchar(text[i]);
    const bool markup = c == '&' || c == '<' || c == '>';
    const bool control = c < ' ' && c != '\t' && c != '\n' && c != '\r';
    if (!markup && !control) continue;
    xml.append(text.sliced(plain, i - plain));
    plain = i + 1;
    if (c == '&')
      xml += "&amp;";
    else if (c == '<')
      xml += "&lt;";
    else if (c == '>')
      xml += "&gt;";
    else
      xml += QByteArray("_x00") + QByteArray::number(c, 16).rightJustified(2, '0').toUpper() + '_';
  }
  xml.append(text.sliced(plain));
}

QByteArray workbook(const QString& sheetName) {
  QByteArray name;
  appendEscaped(name, sheetName.toUtf8());
  return QByteArray(kXmlDeclaration) + "<workbook xmlns=\"" + kMain + "\" xmlns:r=\"" +
         kDocumentRelations + "\"><sheets><sheet name=\"" + name.replace('"', "&quot;") +
         "\" sheetId=\"1\" r:id=\"rId1\"/></sheets></workbook>";
}

// One font, the two fills every workbook has, one border; cell format 1 is the text format "@".
QByteArray styles() {
  return QByteArray(kXmlDeclaration) + "<styleSheet xmlns=\"" + kMain +
         "\"><fonts count=\"1\"><font><sz val=\"11\"/><name val=\"Calibri\"/>"
         "<family val=\"2\"/><scheme val=\"minor\"/></font></fonts>"
         "<fills count=\"2\"><fill><patternFill patternType=\"none\"/></fill>"
         "<fill><patternFill patternType=\"gray125\"/></fill></fills>"
         "<borders count=\"1\"><border><left/><right/><top/><bottom/><diagonal/></border>"
         "</borders><cellStyleXfs count=\"1\">"
         "<xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" borderId=\"0\"/></cellStyleXfs>"
         "<cellXfs count=\"2\"><xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" borderId=\"0\" "
         "xfId=\"0\"/><xf numFmtId=\"49\" fontId=\"0\" fillId=\"0\" borderId=\"0\" xfId=\"0\" "
         "applyNumberFormat=\"1\"/></cellXfs><cellStyles count=\"1\">"
         "<cellStyle name=\"Normal\" xfId=\"0\" builtinId=\"0\"/></cellStyles></styleSheet>";
}

// A number as the shortest text that reads back as it.
template <typename Number>
void appendNumber(QByteArray& xml, Number value) {
  char text[32];
  const std::to_chars_result end = std::to_chars(text, text + sizeof text, value);
  xml.append(text, end.ptr - text);
}

// A column's letters: 0 is A, 25 Z, 26 AA.
void appendColumn(QByteArray& xml, int column) {
  char letters[4];
  int n = 0;
  for (++column; column > 0; column = (column - 1) / 26)
    letters[n++] = char('A' + (column - 1) % 26);
  while (n > 0) xml += letters[--n];
}

}  // namespace

Writer::Writer(const QString& path, const QString& sheetName) : path_(path) {
  // The workbook is written under a fresh name in the target's folder and renamed at the end,
  // so a failed or abandoned export never leaves a partial file under the chosen name. The name
  // is reserved, then made anew, with the permissions a new file of the user gets rather than
  // those of a temporary file.
  const QFileInfo target(path);
  {
    QTemporaryFile part(
        target.absoluteDir().filePath(QStringLiteral(".%1.XXXXXX.part").arg(target.fileName())));
    if (!part.open())
      throw Error(QStringLiteral("无法写入文件 %1：%2").arg(path, part.errorString()));
    partPath_ = part.fileName();
  }
  file_ = std::make_unique<QFile>(partPath_);
  if (!file_->open(QIODevice::WriteOnly | QIODevice::NewOnly))
    throw Error(QStringLiteral("无法写入文件 %1：%2").arg(path, file_->errorString()));
  try {
    zip_ = std::make_unique<detail::ZipWriter>(*file_, path);
    const QList<std::pair<QString, QByteArray>> parts = {
        {QStringLiteral("[Content_Types].xml"), contentTypes()},
        {QStringLiteral("_rels/.rels"), relations({{"officeDocument", "xl/workbook.xml"}})},
        {QStringLiteral("xl/workbook.xml"), workbook(sheetName)},
        {QStringLiteral("xl/_rels/workbook.xml.rels"),
         relations({{"worksheet", "worksheets/sheet1.xml"}, {"styles", "styles.xml"}})},
        {QStringLiteral("xl/styles.xml"), styles()}};
    for (const auto& [name, xml] : parts) {
      zip_->begin(name, Z_DEFAULT_COMPRESSION);
      zip_->write(xml);
      zip_->end();
    }
    zip_->begin(QStringLiteral("xl/worksheets/sheet1.xml"), Z_BEST_SPEED);
    sheetPipe_ = std::make_unique<detail::PartPipe>(*zip_);
  } catch (...) {
    file_->close();
    QFile::remove(partPath_);
    throw;
  }
  sheet_.reserve(kSheetChunk + 64 * 1024);
  sheet_ = QByteArray(kXmlDeclaration) + "<worksheet xmlns=\"" + kMain + "\" xmlns:r=\"" +
           kDocumentRelations + "\"><sheetData>";
}

Writer::~Writer() {
  if (saved_) return;
  sheetPipe_.reset();
  zip_.reset();
  file_->close();
  QFile::remove(partPath_);
}

void Writer::flushSheet(qsizetype atLeast) {
  if (sheet_.size() < atLeast) return;
  sheet_ = sheetPipe_->write(std::move(sheet_));
  sheet_.reserve(kSheetChunk + 64 * 1024);  // a buffer written before has the room already
}

void Writer::startCell(int row, int column) {
  if (row != row_) {
    if (row_ >= 0) sheet_ += "</row>";
    sheet_ += "<row r=\"";
    appendNumber(sheet_, row + 1);
    sheet_ += "\">";
    row_ = row;
    column_ = -1;
  }
  // A cell right after the one before needs no reference.
  if (column == column_ + 1) {
    sheet_ += "<c";
  } else {
    sheet_ += "<c r=\"";
    appendColumn(sheet_, column);
    appendNumber(sheet_, row + 1);
    sheet_ += '"';
  }
  column_ = column;
}

void Writer::text(int row, int column, const QString& value, Format format) {
  text(row, column, QByteArrayView(value.toUtf8()), format);
}

void Writer::text(int row, int column, QByteArrayView utf8, Format format) {
  const bool asText = format == Format::Text;
  if (utf8.isEmpty()) {
    if (asText) {
      startCell(row, column);
      sheet_ += " s=\"1\"/>";
    }
    return;
  }
  startCell(row, column);
  sheet_ += asText ? " s=\"1\" t=\"inlineStr\"><is><t" : " t=\"inlineStr\"><is><t";
  const auto space = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
  if (space(utf8.front()) || space(utf8.back())) sheet_ += " xml:space=\"preserve\"";
  sheet_ += '>';
  appendEscaped(sheet_, utf8);
  sheet_ += "</t></is></c>";
  flushSheet(kSheetChunk);
}

void Writer::number(int row, int column, double value) {
  startCell(row, column);
  sheet_ += "><v>";
  appendNumber(sheet_, value);
  sheet_ += "</v></c>";
  flushSheet(kSheetChunk);
}

void Writer::save() {
  if (row_ >= 0) sheet_ += "</row>";
  sheet_ += "</sheetData></worksheet>";
  flushSheet(0);
  sheetPipe_->close();
  zip_->end();
  zip_->finish();
  file_->close();
  const QByteArray from = QFile::encodeName(partPath_);
  if (file_->error() != QFileDevice::NoError ||
      std::rename(from.constData(), QFile::encodeName(path_)) != 0)
    throw Error(QStringLiteral("无法保存文件 %1：%2")
                    .arg(path_, file_->error() != QFileDevice::NoError
                                    ? file_->errorString()
                                    : QStringLiteral("不能改名")));
  saved_ = true;
}

}  // namespace spreadsheet
