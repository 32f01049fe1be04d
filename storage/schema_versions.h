#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include "schema/tables.h"
#include "storage/result.h"

// The database's schema across versions of the program. Version 1 is the first schema (what
// ensureSchema makes); a database made before versions were recorded records 0 and holds that
// same schema. Every later change to the schema is one step here: the version it brings the
// database to and its statements for each engine, run in one transaction with the new version
// recorded, so a database either has the step whole or not at all.
namespace storage {

class Storage;

struct SchemaStep {
  int version;
  QString description;
  // The tables the step brings (each engine creates them as it creates every table) and the
  // further statements of each engine.
  QList<const schema::Table*> tables;
  QStringList sqlite;
  QStringList postgres;
};

// Every step, oldest first.
const QList<SchemaStep>& schemaSteps();
// The version this program makes and serves.
int currentSchemaVersion();

// What bringing a database up to date takes.
struct UpgradePlan {
  int from = 0;
  int to = 0;
  QList<const SchemaStep*> steps;  // none: the database is up to date
  QString describe() const;
};

// The plan for `store`'s database; refused, naming both versions, when the database is newer
// than this program knows.
Result<UpgradePlan> planUpgrade(Storage& store);

}  // namespace storage
