#include "shell/person_row.h"

#include "schema/values.h"
#include "shell/remote_dataset.h"

namespace {
const QString kId = QStringLiteral("id");
}

bool locatePerson(RemoteDataset& dataset, const QString& key) {
  dataset.first();
  while (!dataset.eof()) {
    if (schema::trim(dataset.fieldText(kId)) == key) return true;
    dataset.next();
  }
  return false;
}

bool editOrAppendPerson(RemoteDataset& dataset, const QString& key) {
  const bool found = locatePerson(dataset, key);
  if (found)
    dataset.edit();
  else
    dataset.append();
  return found;
}
