#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QVariant>
#include <optional>
#include <vector>

// Rows of field values kept compactly: eight bytes per value, every text in one UTF-8 arena,
// integers and reals in pools of their own. A client holding 100,000 listed persons keeps their
// values here instead of a QVariant and a QString per value; display strings are made only
// for the values a grid shows.
namespace protocol {

class ValueStore {
 public:
  explicit ValueStore(int columns = 0) : columns_(columns) {}

  int columnCount() const { return columns_; }
  qsizetype rowCount() const { return columns_ == 0 ? 0 : qsizetype(cells_.size()) / columns_; }

  // Null, qint64, double or QString, as the value travelled.
  QVariant value(qsizetype row, int column) const;
  bool isNull(qsizetype row, int column) const { return kindOf(cell(row, column)) == Kind::Null; }
  // A text value's UTF-8 bytes, without making a string; nothing for other values.
  std::optional<QByteArrayView> utf8(qsizetype row, int column) const;

  // Values are appended a row at a time, columnCount() of them per row, in column order.
  void appendNull() { cells_.push_back(0); }
  void appendInteger(qint64 value);
  void appendReal(double value);
  void appendText(const char* utf8, qsizetype bytes);
  void appendText(QStringView text);
  void appendValue(const QVariant& value);
  // Appends a whole row and returns its index.
  qsizetype appendRow(const QVariantList& values);

  // Gives back the room kept for growth, once the values are all in.
  void squeeze();

  // Bytes held, for the benchmarks.
  qsizetype bytes() const;

 private:
  enum class Kind : quint64 { Null = 0, Integer = 1, Real = 2, Text = 3 };
  // A cell: kind in the top two bits; for a text its length (30 bits) and arena offset (32
  // bits), else the index into its pool.
  static Kind kindOf(quint64 cell) { return Kind(cell >> 62); }
  quint64 cell(qsizetype row, int column) const {
    return cells_[size_t(row) * size_t(columns_) + size_t(column)];
  }

  int columns_;
  std::vector<quint64> cells_;
  QByteArray arena_;
  std::vector<qint64> integers_;
  std::vector<double> reals_;
};

}  // namespace protocol
