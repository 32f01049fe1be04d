#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QVariant>
#include <optional>
#include <vector>

#include "protocol/memory_block.h"

// Rows of field values kept compactly: eight bytes per value, every text in one UTF-8 arena,
// integers and reals in pools of their own. A client holding 100,000 listed persons keeps their
// values here instead of a QVariant and a QString per value; display strings are made only
// for the values a grid shows. Cells and texts go into blocks that are never moved, so a large
// store is written once, not copied again into fresh memory each time it grows; large blocks are
// huge pages (protocol/memory_block.h).
namespace protocol {

class ValueStore {
 public:
  explicit ValueStore(int columns = 0) : columns_(columns) {}
  ValueStore(ValueStore&&) noexcept = default;
  ValueStore& operator=(ValueStore&&) noexcept = default;

  int columnCount() const { return columns_; }
  qsizetype rowCount() const { return columns_ == 0 ? 0 : cellCount_ / columns_; }

  // Null, qint64, double or QString, as the value travelled.
  QVariant value(qsizetype row, int column) const;
  bool isNull(qsizetype row, int column) const { return kindOf(cell(row, column)) == Kind::Null; }
  // A text value's UTF-8 bytes, without making a string; nothing for other values.
  std::optional<QByteArrayView> utf8(qsizetype row, int column) const;

  // Values are appended a row at a time, columnCount() of them per row, in column order.
  void appendNull() { appendCell(0); }
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
  // Cells in blocks of kBlockCells (a huge page each); the first starts small and grows.
  static constexpr int kBlockShift = 18;
  static constexpr qsizetype kBlockCells = qsizetype(1) << kBlockShift;

  // A cell: kind in the top two bits; for a text its length (30 bits) and arena offset (32
  // bits), else the index into its pool.
  static Kind kindOf(quint64 cell) { return Kind(cell >> 62); }
  quint64 cell(qsizetype row, int column) const {
    const qsizetype at = row * columns_ + column;
    return reinterpret_cast<const quint64*>(
        cells_[size_t(at >> kBlockShift)].data())[at & (kBlockCells - 1)];
  }
  void appendCell(quint64 cell) {
    if (lastCells_ == cellRoom_) growCells();
    reinterpret_cast<quint64*>(cells_.back().data())[lastCells_++] = cell;
    ++cellCount_;
  }
  void growCells();
  // The text at `offset` in the arena: the blocks count their offsets on from one another.
  const char* arenaAt(quint64 offset) const;

  int columns_;
  std::vector<MemoryBlock> cells_;
  qsizetype cellRoom_ = 0;   // cells the last block holds
  qsizetype lastCells_ = 0;  // cells in it
  qsizetype cellCount_ = 0;
  std::vector<MemoryBlock> texts_;   // the arena; the last block is filled up to lastBytes_
  std::vector<quint64> textStarts_;  // the arena offset of each block's first byte
  qsizetype lastBytes_ = 0;
  QList<qint64> integers_;
  QList<double> reals_;
};

}  // namespace protocol
