#include <freexl.h>

#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <orcus/orcus_csv.hpp>
#include <orcus/orcus_ods.hpp>
#include <orcus/spreadsheet/import_interface.hpp>
#include <string>
#include <vector>

#include "query/ods_styles.h"
#include "query/sheet_cells.h"
#include "query/spreadsheet.h"
#include "query/zip_parts.h"

namespace spreadsheet::detail {

QString columnName(int column) {
  QString name;
  for (int c = column + 1; c > 0; c = (c - 1) / 26) name.prepend(QChar(u'A' + (c - 1) % 26));
  return name;
}

QString cellPlace(const QString& sheet, int row, int column) {
  const QString place = QStringLiteral("第 %1 行第 %2 列（%3）")
                            .arg(qint64(row) + 1)
                            .arg(qint64(column) + 1)
                            .arg(columnName(column) + QString::number(qint64(row) + 1));
  return sheet.isEmpty() ? place : QStringLiteral("工作表“%1”").arg(sheet) + place;
}

void Cells::set(int row, int column, QString text) {
  if (row < 0 || column < 0 || row >= kMaxRows || column >= kMaxColumns)
    throw Error(
        cellPlace(sheet_, row, column) +
        QStringLiteral("超出了表格的范围（最多 %1 行、%2 列）").arg(kMaxRows).arg(kMaxColumns));
  if (text.isEmpty()) return;
  const auto grow = [this](qsizetype more) {
    cells_ += more;
    if (cells_ > kMaxCells)
      throw Error(QStringLiteral("表格太大：超过 %1 个单元格").arg(kMaxCells));
  };
  if (rows_.size() <= row) {
    grow(row + 1 - rows_.size());
    rows_.resize(row + 1);
  }
  QStringList& cells = rows_[row];
  if (cells.size() <= column) {
    grow(column + 1 - cells.size());
    cells.resize(column + 1);
  }
  cells[column] = std::move(text);
}

QString numberText(double value) {
  if (std::floor(value) == value && std::fabs(value) < 1e15) return QString::number(qint64(value));
  // Fewer digits when fewer give the number back: a tiny number keeps too few bits for 15
  // (1E-310 is 9.99999999999997e-311 to 15 digits).
  const QString shortest = QString::number(value, 'e', QLocale::FloatingPointShortest);
  const qsizetype digits =
      std::count_if(shortest.begin(), shortest.begin() + shortest.indexOf(u'e'),
                    [](QChar c) { return c.isDigit(); });
  return QString::number(value, 'g', int(qMin<qsizetype>(digits, 15)));
}

QString numberCellText(std::string_view stored) {
  std::string_view digits = stored;
  if (digits.starts_with('+')) digits.remove_prefix(1);
  double value = 0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (error == std::errc() && end == digits.data() + digits.size() && std::isfinite(value))
    return numberText(value);
  return QString::fromUtf8(stored.data(), qsizetype(stored.size()));
}

namespace {

namespace iface = orcus::spreadsheet::iface;
using orcus::spreadsheet::col_t;
using orcus::spreadsheet::row_t;

// Shared strings of an ods file: cells name them by index.
class Strings : public iface::import_shared_strings {
 public:
  QString at(size_t index) const { return index < all_.size() ? all_[index] : QString(); }

  size_t append(std::string_view s) override {
    all_.push_back(QString::fromUtf8(s.data(), qsizetype(s.size())));
    return all_.size() - 1;
  }
  size_t add(std::string_view s) override { return append(s); }
  void set_segment_font(size_t) override {}
  void set_segment_bold(bool) override {}
  void set_segment_italic(bool) override {}
  void set_segment_font_name(std::string_view) override {}
  void set_segment_font_size(double) override {}
  void set_segment_font_color(orcus::spreadsheet::color_elem_t, orcus::spreadsheet::color_elem_t,
                              orcus::spreadsheet::color_elem_t,
                              orcus::spreadsheet::color_elem_t) override {}
  void append_segment(std::string_view s) override { segments_.append(s); }
  size_t commit_segments() override {
    const size_t index = append(segments_);
    segments_.clear();
    return index;
  }

 private:
  std::vector<QString> all_;
  std::string segments_;
};

// One sheet as the importers fill it; only the first sheet keeps what it is given.
class Sheet : public iface::import_sheet {
 public:
  Sheet(Cells* cells, const Strings& strings) : cells_(cells), strings_(strings) {}

  void set_auto(row_t row, col_t col, std::string_view s) override {
    put(row, col, QString::fromUtf8(s.data(), qsizetype(s.size())));
  }
  void set_string(row_t row, col_t col, orcus::spreadsheet::string_id_t id) override {
    put(row, col, strings_.at(id));
  }
  void set_value(row_t row, col_t col, double value) override { put(row, col, numberText(value)); }
  void set_bool(row_t row, col_t col, bool value) override {
    put(row, col, value ? QStringLiteral("TRUE") : QStringLiteral("FALSE"));
  }
  void set_date_time(row_t row, col_t col, int year, int month, int day, int hour, int minute,
                     double second) override {
    QString text = QStringLiteral("%1-%2-%3")
                       .arg(year, 4, 10, QChar(u'0'))
                       .arg(month, 2, 10, QChar(u'0'))
                       .arg(day, 2, 10, QChar(u'0'));
    if (hour || minute || second)
      text += QStringLiteral(" %1:%2:%3")
                  .arg(hour, 2, 10, QChar(u'0'))
                  .arg(minute, 2, 10, QChar(u'0'))
                  .arg(int(second), 2, 10, QChar(u'0'));
    put(row, col, text);
  }
  void set_format(row_t, col_t, size_t) override {}
  void set_format(row_t, col_t, row_t, col_t, size_t) override {}
  void fill_down_cells(row_t, col_t, row_t) override {}
  orcus::spreadsheet::range_size_t get_sheet_size() const override {
    return {kMaxRows, kMaxColumns};
  }

 private:
  void put(row_t row, col_t col, QString text) {
    if (cells_) cells_->set(row, col, std::move(text));
  }

  Cells* cells_;
  const Strings& strings_;
};

class Factory : public iface::import_factory {
 public:
  // `named`: the first sheet takes the name the file gives it (a CSV file gives none).
  Factory(Cells& first, bool named) : first_(first), named_(named) {}

  iface::import_shared_strings* get_shared_strings() override { return &strings_; }
  iface::import_styles* get_styles() override { return &styles_; }

  iface::import_sheet* append_sheet(orcus::spreadsheet::sheet_t index,
                                    std::string_view name) override {
    if (index == 0 && named_)
      first_.setSheet(QString::fromUtf8(name.data(), qsizetype(name.size())));
    sheets_.push_back(std::make_unique<Sheet>(index == 0 ? &first_ : nullptr, strings_));
    names_.emplace_back(name);
    return sheets_.back().get();
  }
  iface::import_sheet* get_sheet(std::string_view name) override {
    for (size_t i = 0; i < names_.size(); ++i)
      if (names_[i] == name) return sheets_[i].get();
    return nullptr;
  }
  iface::import_sheet* get_sheet(orcus::spreadsheet::sheet_t index) override {
    return index >= 0 && size_t(index) < sheets_.size() ? sheets_[size_t(index)].get() : nullptr;
  }
  void finalize() override {}

 private:
  Cells& first_;
  bool named_;
  Strings strings_;
  IgnoredStyles styles_;
  std::vector<std::unique_ptr<Sheet>> sheets_;
  std::vector<std::string> names_;
};

QList<QStringList> readOds(const QByteArray& bytes) {
  Cells cells;
  Factory factory(cells, true);
  orcus::orcus_ods(&factory).read_stream({bytes.constData(), size_t(bytes.size())});
  return cells.take();
}

QList<QStringList> readCsv(const QByteArray& bytes) {
  const std::string text = csvText(bytes).toStdString();
  Cells cells;
  Factory factory(cells, false);
  orcus::orcus_csv(&factory).read_stream(text);
  return cells.take();
}

// Legacy xls (BIFF in a compound file) through freexl.
QList<QStringList> readXls(const QString& path) {
  const void* handle = nullptr;
  const int opened = freexl_open(QFile::encodeName(path).constData(), &handle);
  struct Closer {
    const void* h;
    ~Closer() {
      if (h) freexl_close(h);
    }
  } closer{handle};
  unsigned int rows = 0;
  unsigned short columns = 0;
  if (opened != FREEXL_OK || freexl_select_active_worksheet(handle, 0) != FREEXL_OK ||
      freexl_worksheet_dimensions(handle, &rows, &columns) != FREEXL_OK)
    throw Error(QStringLiteral("它不是可以读取的 xls 电子表格：文件已损坏，或格式太旧（错误 %1）")
                    .arg(opened));
  Cells cells;
  if (const char* name = nullptr; freexl_get_worksheet_name(handle, 0, &name) == FREEXL_OK && name)
    cells.setSheet(QString::fromUtf8(name));
  for (unsigned int r = 0; r < rows; ++r)
    for (unsigned short c = 0; c < columns; ++c) {
      FreeXL_CellValue value;
      if (freexl_get_cell_value(handle, r, c, &value) != FREEXL_OK) continue;
      switch (value.type) {
        case FREEXL_CELL_INT:
          cells.set(int(r), c, QString::number(value.value.int_value));
          break;
        case FREEXL_CELL_DOUBLE:
          cells.set(int(r), c, numberText(value.value.double_value));
          break;
        case FREEXL_CELL_NULL:
          break;
        default:  // text, date, date-time and time all come as UTF-8 text
          if (value.value.text_value)
            cells.set(int(r), c, QString::fromUtf8(value.value.text_value));
      }
    }
  return cells.take();
}

// A file of one of the spreadsheet formats by its name, whatever it holds.
bool namedAsWorkbook(const QString& path) {
  static const QStringList suffixes = {QStringLiteral("xlsx"), QStringLiteral("xlsm"),
                                       QStringLiteral("xls"), QStringLiteral("ods")};
  return suffixes.contains(QFileInfo(path).suffix(), Qt::CaseInsensitive);
}

// xlsx and ods are zip archives told apart by their parts, legacy xls a compound file; any
// other file is CSV text, unless its name says it is a workbook.
QList<QStringList> readByContent(const QString& path, const QByteArray& bytes) {
  static const QByteArray compound = QByteArray::fromHex("d0cf11e0a1b11ae1");
  if (bytes.startsWith(compound)) return readXls(path);
  if (bytes.startsWith("PK")) {
    const ZipParts zip(bytes);
    if (zip.contains(QStringLiteral("xl/workbook.xml"))) return readXlsx(zip);
    if (!zip.contains(QStringLiteral("content.xml")))
      throw Error(QStringLiteral("它不是电子表格：zip 压缩包中没有工作表"));
    zip.checkAll();  // orcus inflates the archive itself
    return readOds(bytes);
  }
  if (namedAsWorkbook(path))
    throw Error(QStringLiteral("它不是电子表格：内容不是 xlsx、xls 或 ods 格式，文件可能已损坏"));
  return readCsv(bytes);
}

}  // namespace

QList<QStringList> readSheetFile(const QString& path) {
  const QString prefix = QStringLiteral("无法读取文件 %1：").arg(path);
  try {
    QFile file(path);
    if (!QFileInfo(path).isFile()) throw Error(QStringLiteral("文件不存在"));
    if (!file.open(QIODevice::ReadOnly))
      throw Error(QStringLiteral("文件打不开，没有读取它的权限"));
    const QByteArray bytes = file.read(kMaxPartBytes + 1);
    if (bytes.size() > kMaxPartBytes)
      throw Error(QStringLiteral("文件太大，超过 %1 MiB").arg(kMaxPartBytes / (1024 * 1024)));
    return readByContent(path, bytes);
  } catch (const Error& e) {
    throw Error(prefix + QString::fromUtf8(e.what()));
  } catch (const std::bad_alloc&) {
    throw Error(prefix + QStringLiteral("读取它需要的内存超过了限制，文件太大或已损坏"));
  } catch (const std::exception&) {
    // The libraries' own texts are English and name their internals: not shown.
    throw Error(prefix + QStringLiteral("文件已损坏，或不是电子表格"));
  }
}

}  // namespace spreadsheet::detail
