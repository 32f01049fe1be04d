#include <freexl.h>

#include <QFile>
#include <QStringDecoder>
#include <cmath>
#include <orcus/format_detection.hpp>
#include <orcus/orcus_csv.hpp>
#include <orcus/orcus_ods.hpp>
#include <orcus/spreadsheet/import_interface.hpp>
#include <string>
#include <vector>

#include "query/sheet_cells.h"
#include "query/spreadsheet.h"

namespace spreadsheet {

namespace detail {

void Cells::set(int row, int column, QString text) {
  if (row < 0 || column < 0 || text.isEmpty()) return;
  if (rows_.size() <= row) rows_.resize(row + 1);
  QStringList& cells = rows_[row];
  while (cells.size() <= column) cells << QString();
  cells[column] = std::move(text);
}

QString numberText(double value) {
  if (std::floor(value) == value && std::fabs(value) < 1e15) return QString::number(qint64(value));
  return QString::number(value, 'g', 15);
}

}  // namespace detail

namespace {

using detail::Cells;
using detail::numberText;
using detail::readXlsx;

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
  orcus::spreadsheet::range_size_t get_sheet_size() const override { return {1048576, 16384}; }

 private:
  void put(row_t row, col_t col, QString text) {
    if (cells_) cells_->set(row, col, std::move(text));
  }

  Cells* cells_;
  const Strings& strings_;
};

class Factory : public iface::import_factory {
 public:
  explicit Factory(Cells& first) : first_(first) {}

  iface::import_shared_strings* get_shared_strings() override { return &strings_; }

  iface::import_sheet* append_sheet(orcus::spreadsheet::sheet_t index,
                                    std::string_view name) override {
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
  Strings strings_;
  std::vector<std::unique_ptr<Sheet>> sheets_;
  std::vector<std::string> names_;
};

// CSV files come as UTF-8 (with or without a byte-order mark) or, from Chinese systems, GB18030.
std::string csvText(const QByteArray& bytes) {
  QStringDecoder utf8(QStringDecoder::Utf8);
  QString text = utf8.decode(bytes);
  if (utf8.hasError()) {
    QStringDecoder gb("GB18030");
    if (gb.isValid()) text = gb.decode(bytes);
  }
  if (text.startsWith(QChar(0xFEFF))) text.remove(0, 1);
  return text.toStdString();
}

// xlsx by our own reading of its parts (orcus 0.17 passes over inline strings, which is what
// constant-memory writers, ours too, produce); ods and CSV through orcus's import filters.
QList<QStringList> readByContent(const QByteArray& bytes) {
  Cells cells;
  Factory factory(cells);
  const auto* data = reinterpret_cast<const unsigned char*>(bytes.constData());
  switch (orcus::detect(data, size_t(bytes.size()))) {
    case orcus::format_t::xlsx:
      return readXlsx(bytes);
    case orcus::format_t::ods:
      orcus::orcus_ods(&factory).read_stream({bytes.constData(), size_t(bytes.size())});
      break;
    default: {
      const std::string text = csvText(bytes);
      orcus::orcus_csv(&factory).read_stream(text);
    }
  }
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
    throw Error(QStringLiteral("无法读取 xls 文件 %1（错误 %2）").arg(path).arg(opened));
  Cells cells;
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
          cells.set(int(r), c, QString::fromUtf8(value.value.text_value));
      }
    }
  return cells.take();
}

bool isCompoundFile(const QByteArray& bytes) {
  static const QByteArray signature = QByteArray::fromHex("d0cf11e0a1b11ae1");
  return bytes.startsWith(signature);
}

}  // namespace

QList<QStringList> readFirstSheet(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly))
    throw Error(QStringLiteral("无法打开文件 %1：%2").arg(path, file.errorString()));
  const QByteArray bytes = file.readAll();
  file.close();
  try {
    return isCompoundFile(bytes) ? readXls(path) : readByContent(bytes);
  } catch (const Error&) {
    throw;
  } catch (const std::exception& e) {
    throw Error(QStringLiteral("无法读取文件 %1：%2").arg(path, QString::fromUtf8(e.what())));
  }
}

}  // namespace spreadsheet
