#pragma once

#include <QByteArray>
#include <QString>
#include <functional>
#include <vector>

// The parts of a zip archive (xlsx and ods files are zip archives of XML parts), found through
// its central directory and inflated with zlib. No part is inflated beyond the size the
// directory records for it, and none beyond kMaxPartBytes (query/sheet_cells.h): a part that
// claims more is refused before anything is inflated, one that inflates to more than it
// claims is refused as soon as it does.
namespace spreadsheet::detail {

class ZipParts {
 public:
  // Reads the directory of the archive in `file`, which must outlive this. Throws Error when
  // `file` is no whole zip archive (cut short, say).
  explicit ZipParts(const QByteArray& file);

  bool contains(const QString& name) const;
  // The inflated bytes of a part. Throws Error when it is absent, damaged or too large.
  QByteArray read(const QString& name) const;
  // Inflates every part once, keeping nothing: after this, a reader that inflates the archive
  // itself meets no part beyond the bound. Throws Error.
  void checkAll() const;

 private:
  struct Entry {
    QString name;
    int method = 0;  // 0 stored, 8 deflated
    bool encrypted = false;
    qint64 compressed = 0;
    qint64 size = 0;
    qint64 offset = 0;  // of the part's local header
  };

  const Entry* find(const QString& name) const;
  // Passes the part's bytes to `sink` piece by piece. Throws Error.
  void inflate(const Entry& entry, const std::function<void(const char*, qsizetype)>& sink) const;

  const QByteArray& file_;
  std::vector<Entry> entries_;
};

}  // namespace spreadsheet::detail
