#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <atomic>
#include <thread>

// Backups of the served database on a timer, while it is served: every `hours` into `folder`,
// named by date and time (staffinfo-YYYYMMDD-HHMMSS.db), keeping the newest `keep`. Each is
// logged with its size and duration. A failed backup is logged loudly and tried again at the
// next turn, and never removes an older good one. A backup runs on a thread of its own.
namespace server {

class BackupSchedule : public QObject {
 public:
  BackupSchedule(QString location, QString folder, double hours, int keep,
                 QObject* parent = nullptr);
  // Waits for a backup under way to finish.
  ~BackupSchedule() override;

  // The backups in `folder`, newest first.
  static QStringList backups(const QString& folder);

 private:
  void turn();
  void takeBackup();

  const QString location_;
  const QString folder_;
  const int keep_;
  QTimer timer_;
  int intervalSeconds_ = 0;
  std::thread running_;
  std::atomic<bool> busy_ = false;
};

}  // namespace server
