#include <charconv>
#include <map>
#include <orcus/parser_base.hpp>
#include <orcus/sax_parser.hpp>
#include <string>
#include <vector>

#include "query/sheet_cells.h"
#include "query/spreadsheet.h"
#include "query/zip_parts.h"

// The first worksheet of an xlsx file, read from its parts: the workbook names its first sheet,
// the workbook's relations give that sheet's part, the shared strings hold the texts cells name
// by number, and the sheet holds the cells. Elements are matched by local name, so prefixed
// markup reads the same.
namespace spreadsheet::detail {

namespace {

using orcus::sax::parser_attribute;
using orcus::sax::parser_element;
using Attrs = std::map<std::string, std::string>;

template <typename Handler>
void parse(const ZipParts& zip, const QString& part, Handler& handler) {
  const QByteArray xml = zip.read(part);
  try {
    orcus::sax_parser<Handler>(xml.constData(), size_t(xml.size()), handler).parse();
  } catch (const orcus::parse_error& e) {
    throw Error(QStringLiteral("文件中的 %1 已损坏：第 %2 个字节处不是正确的 XML")
                    .arg(part)
                    .arg(qint64(e.offset())));
  }
}

QString text(std::string_view s) { return QString::fromUtf8(s.data(), qsizetype(s.size())); }

// Attributes come before the element they belong to.
class Attributes : public orcus::sax_handler {
 public:
  void attribute(const parser_attribute& a) {
    attributes_[std::string(a.name)] = std::string(a.value);
  }
  void start_element(const parser_element& e) {
    element(e.name, attributes_);
    attributes_.clear();
  }

 protected:
  virtual void element(std::string_view name, Attrs& attributes) = 0;

 private:
  Attrs attributes_;
};

// The name and relation id of the workbook's first sheet.
class FirstSheet : public Attributes {
 public:
  std::string id;
  QString name;

 protected:
  void element(std::string_view element, Attrs& a) override {
    if (element != "sheet" || !id.empty()) return;
    id = a["id"];
    name = text(a["name"]);
  }
};

// The target of one relation.
class Relation : public Attributes {
 public:
  explicit Relation(std::string id) : id_(std::move(id)) {}
  std::string target;

 protected:
  void element(std::string_view name, Attrs& a) override {
    if (name == "Relationship" && a["Id"] == id_) target = a["Target"];
  }

 private:
  std::string id_;
};

// Collects the texts of <t> elements inside `item` elements, leaving out phonetic runs (<rPh>).
class Texts : public Attributes {
 public:
  void end_element(const parser_element& e) {
    if (e.name == "t") inText_ = false;
    if (e.name == "rPh") inPhonetic_ = false;
    if (e.name == item_) done(current_);
  }
  void characters(std::string_view s, bool) {
    if (inText_ && !inPhonetic_) current_.append(s);
  }

 protected:
  explicit Texts(std::string_view item) : item_(item) {}
  // An item ended with this text.
  virtual void done(std::string& text) = 0;
  // Any other element started.
  virtual void other(std::string_view, Attrs&) {}
  void element(std::string_view name, Attrs& a) override {
    if (name == item_) current_.clear();
    if (name == "t") inText_ = true;
    if (name == "rPh") inPhonetic_ = true;
    other(name, a);
  }
  std::string current_;

 private:
  std::string_view item_;
  bool inText_ = false;
  bool inPhonetic_ = false;
};

class SharedStrings : public Texts {
 public:
  SharedStrings() : Texts("si") {}
  std::vector<QString> all;

 protected:
  void done(std::string& s) override { all.push_back(text(s)); }
};

// A cell reference ("B3": row 2, column 1); parts left out keep the given row and column. A
// reference beyond the sheet's limits is refused, before any of it is used.
void place(std::string_view reference, const QString& sheet, int& row, int& column) {
  qint64 c = 0, r = 0;
  for (const char ch : reference) {
    if (ch >= 'A' && ch <= 'Z') c = qMin<qint64>(c * 26 + (ch - 'A' + 1), kMaxColumns + 1);
    if (ch >= '0' && ch <= '9') r = qMin<qint64>(r * 10 + (ch - '0'), kMaxRows + 1);
  }
  if (c > kMaxColumns || r > kMaxRows)
    throw Error(QStringLiteral("工作表“%1”的单元格 %2 超出了表格的范围（最多 %3 行、%4 列）")
                    .arg(sheet, text(reference))
                    .arg(kMaxRows)
                    .arg(kMaxColumns));
  if (c > 0) column = int(c - 1);
  if (r > 0) row = int(r - 1);
}

class SheetCells : public Texts {
 public:
  SheetCells(Cells& cells, const std::vector<QString>& shared)
      : Texts("c"), cells_(cells), shared_(shared) {}
  void end_element(const parser_element& e) {
    if (e.name == "v") inValue_ = false;
    Texts::end_element(e);
  }
  void characters(std::string_view s, bool transient) {
    if (inValue_) value_.append(s);
    Texts::characters(s, transient);
  }

 protected:
  void other(std::string_view name, Attrs& a) override {
    if (name == "row") {
      ++row_;
      column_ = -1;
      place(a["r"], cells_.sheet(), row_, column_);
    } else if (name == "c") {
      ++column_;
      place(a["r"], cells_.sheet(), row_, column_);
      type_ = a["t"];
      value_.clear();
    } else if (name == "v") {
      inValue_ = true;
    }
  }
  void done(std::string& inline_) override {
    QString shown;
    if (type_ == "inlineStr")
      shown = text(inline_);
    else if (type_ == "s")
      shown = sharedString();
    else if (type_ == "b")
      shown = value_ == "1" ? QStringLiteral("TRUE") : QStringLiteral("FALSE");
    else if (type_.empty() || type_ == "n")
      shown = numberCellText(value_);
    else  // str (a formula's text), e (an error), d (a date as text)
      shown = text(value_);
    cells_.set(row_, column_, shown);
  }

 private:
  QString sharedString() const {
    size_t index = 0;
    const char* end = value_.data() + value_.size();
    const auto [stop, error] = std::from_chars(value_.data(), end, index);
    if (error != std::errc() || stop != end || index >= shared_.size())
      throw Error(cellPlace(cells_.sheet(), row_, column_) +
                  QStringLiteral("：引用的共享文本“%1”不存在").arg(text(value_)));
    return shared_[index];
  }

  Cells& cells_;
  const std::vector<QString>& shared_;
  int row_ = -1;
  int column_ = -1;
  std::string type_;
  std::string value_;
  bool inValue_ = false;
};

}  // namespace

QList<QStringList> readXlsx(const ZipParts& zip) {
  FirstSheet first;
  parse(zip, QStringLiteral("xl/workbook.xml"), first);
  Relation relation(first.id);
  parse(zip, QStringLiteral("xl/_rels/workbook.xml.rels"), relation);
  if (relation.target.empty()) throw Error(QStringLiteral("文件中没有工作表"));
  const QString part = relation.target.front() == '/'
                           ? text(relation.target).mid(1)
                           : QStringLiteral("xl/") + text(relation.target);
  SharedStrings shared;
  if (const QString strings = QStringLiteral("xl/sharedStrings.xml"); zip.contains(strings))
    parse(zip, strings, shared);
  Cells cells;
  cells.setSheet(first.name);
  SheetCells sheet(cells, shared.all);
  parse(zip, part, sheet);
  return cells.take();
}

}  // namespace spreadsheet::detail
