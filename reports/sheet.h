#pragma once

#include <QList>
#include <QObject>
#include <functional>

#include "reports/band_report.h"

class RemoteDataset;

namespace reports {

// Receives each message the loading has for the user, as a message box would.
using MessageSink = std::function<void(const QString& text)>;

// The personal information sheet: one page gathering the person's row of each of the ten
// one-row tables, read through datasets named after the tables.
class Sheet : public QObject {
  Q_OBJECT

 public:
  explicit Sheet(QObject* parent = nullptr);

  // Reads the person's row of each table afresh, in order (info, wycd, other_info, gzdd, gwxx,
  // rjxx, xzzwqk, dnzwqk, zyjs, grjs), the row found when its trimmed `id` equals `personId`.
  // A table without that row gets its message "<table>信息不存在，请联系相关负责人!" and prints
  // its values empty; after `info` the loading goes on, after any other table it ends there and
  // the tables not reached print empty too. Returns whether the loading ran to its end.
  bool load(const QString& personId, const MessageSink& message);
  // Whether the last loading found the person's row in at least one table.
  bool foundPerson() const;
  // Drops the rows of all ten tables.
  void close();

  const Report& report() const { return report_; }

 private:
  QList<RemoteDataset*> datasets_;
  Report report_;
};

}  // namespace reports
