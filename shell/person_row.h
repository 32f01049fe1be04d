#pragma once

#include <QString>

class RemoteDataset;

// Row lookup of the record pages: from the first row, the first whose trimmed `id` equals
// `key` becomes current. Returns whether such a row was found. The dataset must be open.
bool locatePerson(RemoteDataset& dataset, const QString& key);

// Find-or-append: puts the person's row into edit when found, else appends a new row (whose
// `id` the caller sets). Returns whether the row was found.
bool editOrAppendPerson(RemoteDataset& dataset, const QString& key);
