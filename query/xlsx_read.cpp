#include <map>
#include <orcus/sax_parser.hpp>
#include <orcus/zip_archive.hpp>
#include <orcus/zip_archive_stream.hpp>
#include <stdexcept>
#include <string>
#include <vector>

#include "query/sheet_cells.h"

// The first worksheet of an xlsx file, read from its parts: the workbook names its first sheet,
// the workbook's relations give that sheet's part, the shared strings hold the texts cells name
// by number, and the sheet holds the cells. Elements are matched by local name, so prefixed
// markup reads the same.
namespace spreadsheet::detail {

namespace {

using orcus::sax::parser_attribute;
using orcus::sax::parser_element;
using Attrs = std::map<std::string, std::string>;

std::string partText(const orcus::zip_archive& zip, const std::string& name) {
  std::vector<unsigned char> bytes;
  if (!zip.read_file_entry(name, bytes)) return {};
  return std::string(bytes.begin(), bytes.end());
}

template <typename Handler>
void parse(const std::string& xml, Handler& handler) {
  orcus::sax_parser<Handler>(xml.data(), xml.size(), handler).parse();
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

// The relation id of the workbook's first sheet.
class FirstSheet : public Attributes {
 public:
  std::string id;

 protected:
  void element(std::string_view name, Attrs& a) override {
    if (name == "sheet" && id.empty()) id = a["id"];
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

// "B3" → row 2, column 1; parts left out keep the given defaults.
void place(std::string_view reference, int& row, int& column) {
  int c = 0, r = 0;
  for (const char ch : reference) {
    if (ch >= 'A' && ch <= 'Z') c = c * 26 + (ch - 'A' + 1);
    if (ch >= '0' && ch <= '9') r = r * 10 + (ch - '0');
  }
  if (c > 0) column = c - 1;
  if (r > 0) row = r - 1;
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
      place(a["r"], row_, column_);
    } else if (name == "c") {
      ++column_;
      place(a["r"], row_, column_);
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
      shown = std::stoul(value_.empty() ? "0" : value_) < shared_.size()
                  ? shared_[std::stoul(value_)]
                  : QString();
    else if (type_ == "b")
      shown = value_ == "1" ? QStringLiteral("TRUE") : QStringLiteral("FALSE");
    else if (type_.empty() || type_ == "n")
      shown = value_.empty() ? QString() : numberText(std::stod(value_));
    else  // str (a formula's text), e (an error), d (a date as text)
      shown = text(value_);
    cells_.set(row_, column_, shown);
  }

 private:
  Cells& cells_;
  const std::vector<QString>& shared_;
  int row_ = -1;
  int column_ = -1;
  std::string type_;
  std::string value_;
  bool inValue_ = false;
};

}  // namespace

QList<QStringList> readXlsx(const QByteArray& file) {
  orcus::zip_archive_stream_blob stream(reinterpret_cast<const uint8_t*>(file.constData()),
                                        size_t(file.size()));
  orcus::zip_archive zip(&stream);
  zip.load();

  FirstSheet first;
  parse(partText(zip, "xl/workbook.xml"), first);
  Relation relation(first.id);
  parse(partText(zip, "xl/_rels/workbook.xml.rels"), relation);
  if (relation.target.empty()) throw std::runtime_error("no worksheet in the workbook");
  const std::string part =
      relation.target.front() == '/' ? relation.target.substr(1) : "xl/" + relation.target;
  SharedStrings shared;
  if (const std::string xml = partText(zip, "xl/sharedStrings.xml"); !xml.empty())
    parse(xml, shared);
  Cells cells;
  SheetCells sheet(cells, shared.all);
  parse(partText(zip, part), sheet);
  return cells.take();
}

}  // namespace spreadsheet::detail
