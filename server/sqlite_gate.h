#pragma once

#include <QDeadlineTimer>
#include <QHash>
#include <QList>
#include <QSet>
#include <QStringList>

#include "schema/tables.h"
#include "server/result.h"
#include "server/sqlite_db.h"

namespace server::sqlite {

// A client's select text that passed the gate, ready to run.
struct CheckedSelect {
  Statement statement;  // what to run; the row identity is its column 0 when `rids`
  bool rids = false;
  QList<int> shown;   // the statement's columns delivered, in order (never a `rid`)
  QStringList names;  // their packet names, made unique
  const schema::Table* table = nullptr;  // the table written back to, when `rids`
  // A distinct text keeps its row identities only when it selects the table's unique column:
  // then only rows where that column is null could differ by identity alone, and the run
  // drops those repeats again. The statement's column of that key, else -1.
  int distinctKey = -1;
  QHash<QString, QString> storedColumns;  // packet name → plain column of `table`
};

// The select gate on a read-only handle. It installs an authorizer that allows reading only
// (SELECT, READ, FUNCTION, RECURSIVE) and makes `user_name.password` read as null, and a
// progress handler that stops a statement running past its time limit.
class SelectGate {
 public:
  explicit SelectGate(Handle& readOnly);
  ~SelectGate();
  SelectGate(const SelectGate&) = delete;
  SelectGate& operator=(const SelectGate&) = delete;

  enum class Use {
    Run,       // the statement will be run: password hashes read as null
    Describe,  // only its columns are wanted: origins stay visible, no statement is returned
  };

  // Accepts exactly one statement starting with SELECT or WITH that SQLite holds read-only.
  // Rows get identities when the text reads exactly one schema table, does not group rows,
  // selects the table's unique column if it is distinct, and `T.rid` can be put first among
  // its result columns. Any other distinct text returns exactly SQLite's rows.
  Result<CheckedSelect> check(const QString& text, Use use);

  // Starts the time limit of the next run on the handle.
  void startClock();

 private:
  static int authorize(void* self, int action, const char* first, const char* second,
                       const char* database, const char* trigger);
  static int progress(void* self);
  Result<Statement> prepareOne(const QString& text);
  void addRowIdentities(const QString& text, CheckedSelect& checked);

  Handle& db_;
  QSet<QString> tablesRead_;
  bool aggregates_ = false;
  bool denied_ = false;
  bool blankPasswords_ = true;
  QDeadlineTimer deadline_{QDeadlineTimer::Forever};
};

}  // namespace server::sqlite
