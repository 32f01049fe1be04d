#include "server/backup_schedule.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>

#include "server/log.h"
#include "storage/open.h"

namespace server {

BackupSchedule::BackupSchedule(QString location, QString folder, double hours, int keep,
                               QObject* parent)
    : QObject(parent), location_(std::move(location)), folder_(std::move(folder)), keep_(keep) {
  timer_.setInterval(std::max(1000, int(hours * 3600 * 1000)));
  intervalSeconds_ = timer_.interval() / 1000;
  connect(&timer_, &QTimer::timeout, this, &BackupSchedule::turn);
  timer_.start();
}

BackupSchedule::~BackupSchedule() {
  if (running_.joinable()) running_.join();
}

QStringList BackupSchedule::backups(const QString& folder) {
  QStringList names = QDir(folder).entryList({QStringLiteral("staffinfo-*.db")}, QDir::Files,
                                             QDir::Name | QDir::Reversed);
  for (QString& name : names) name = QDir(folder).filePath(name);
  return names;
}

void BackupSchedule::turn() {
  if (busy_.exchange(true)) {
    logLine(QStringLiteral("backup skipped: the previous one is still being written"));
    return;
  }
  if (running_.joinable()) running_.join();
  running_ = std::thread([this] {
    takeBackup();
    busy_ = false;
  });
}

void BackupSchedule::takeBackup() {
  QElapsedTimer clock;
  clock.start();
  const QString file = QDir(folder_).filePath(
      QDateTime::currentDateTime().toString(QStringLiteral("'staffinfo-'yyyyMMdd-HHmmss'.db'")));
  if (const storage::Status s = storage::backupDatabase(location_, file); !s) {
    logLine(QStringLiteral("BACKUP FAILED: %1 (older backups are kept; the next try in %2 s)")
                .arg(s.error())
                .arg(intervalSeconds_));
    return;
  }
  logLine(QStringLiteral("backup written: %1, %2 MiB in %3 s")
              .arg(file)
              .arg(double(QFileInfo(file).size()) / (1024 * 1024), 0, 'f', 1)
              .arg(double(clock.elapsed()) / 1000, 0, 'f', 1));
  const QStringList all = backups(folder_);
  for (qsizetype i = keep_; i < all.size(); ++i)
    if (QFile::remove(all[i])) logLine(QStringLiteral("old backup removed: %1").arg(all[i]));
}

}  // namespace server
