#pragma once

#include <zlib.h>

#include <QByteArrayView>
#include <QFile>
#include <QString>
#include <vector>

// Writes a zip archive (an xlsx file is one) into a file, one deflated part after another, in
// constant memory: a part's bytes are deflated as they come, and its header is filled in once
// it is whole. Parts and the archive stay below 4 GiB (no zip64); beyond that, Error.
namespace spreadsheet::detail {

class ZipWriter {
 public:
  // `file` is open for writing and outlives the writer; `path` names it in messages.
  ZipWriter(QFile& file, const QString& path);
  ~ZipWriter();
  ZipWriter(const ZipWriter&) = delete;
  ZipWriter& operator=(const ZipWriter&) = delete;

  // Starts a part, deflated at `level` (1 fastest … 9 smallest). Throws Error.
  void begin(const QString& name, int level);
  void write(QByteArrayView bytes);
  void end();
  // Writes the directory after the last part. Throws Error.
  void finish();

 private:
  struct Entry {
    QByteArray name;
    quint32 crc = 0;
    quint64 compressed = 0;
    quint64 size = 0;
    quint64 offset = 0;  // of its local header
  };

  void deflateInto(int flush);
  void put(QByteArrayView bytes);
  [[noreturn]] void fail() const;

  QFile& file_;
  QString path_;
  z_stream stream_{};
  bool deflating_ = false;
  std::vector<Entry> entries_;
  quint16 time_ = 0;
  quint16 date_ = 0;
};

}  // namespace spreadsheet::detail
