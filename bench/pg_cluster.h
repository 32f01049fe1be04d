#pragma once

#include <QString>
#include <optional>

// A throw-away PostgreSQL cluster for one benchmark run (scripts/pg-cluster, fsync on), directly
// under /tmp so that the cluster's owner (for root, the postgres user) can reach it. While it
// runs, STAFFINFO_TEST_PG names its maintenance database, so testdb::PgDatabase creates fresh
// databases in it. The destructor stops it and removes its folder.
namespace bench {

class PgCluster {
 public:
  PgCluster();
  ~PgCluster();
  PgCluster(const PgCluster&) = delete;
  PgCluster& operator=(const PgCluster&) = delete;

  // False when it did not start (the reason went to standard error).
  bool running() const { return !location_.isEmpty(); }

 private:
  QString folder_;
  QString location_;
};

// Copies the SQLite file `file` into the PostgreSQL database `location` with the `copy`
// command of the server program `server`; the seconds it took, or nothing (having said why on
// standard error).
std::optional<double> copyInto(const QString& server, const QString& file, const QString& location);

}  // namespace bench
