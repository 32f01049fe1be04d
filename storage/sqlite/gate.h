#pragma once

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QSet>
#include <QStringList>

#include "schema/tables.h"
#include "storage/result.h"
#include "storage/sqlite/db.h"

namespace storage::sqlite {

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
// (SELECT, RECURSIVE, READ of the system's own tables, FUNCTION of a named set) and makes
// `user_name.password` read as null, and a progress handler that stops a statement running
// past its time limit. A run that goes on for long waits for one of a few process-wide
// long-query turns, so long queries never hold every core.
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

  // A run of a statement on the handle; gives back its long-query turn, if it took one, when
  // destroyed.
  class Run {
   public:
    explicit Run(SelectGate& gate) : gate_(&gate) {}
    Run(Run&& other) noexcept : gate_(std::exchange(other.gate_, nullptr)) {}
    Run& operator=(Run&&) = delete;
    ~Run();

   private:
    SelectGate* gate_;
  };

  // Starts the time limit of the next run on the handle; keep the Run until the rows are read.
  [[nodiscard]] Run startClock();

 private:
  static int authorize(void* self, int action, const char* first, const char* second,
                       const char* database, const char* trigger);
  static int progress(void* self);
  Result<Statement> prepareOne(const QString& text);
  void addRowIdentities(const QString& text, CheckedSelect& checked);

  Handle& db_;
  QSet<QString> tablesRead_;
  bool aggregates_ = false;
  QString denied_;  // why the authorizer refused the text being prepared
  bool blankPasswords_ = true;
  QDeadlineTimer deadline_{QDeadlineTimer::Forever};
  QElapsedTimer started_;
  bool running_ = false;   // between startClock() and the end of its Run
  bool longTurn_ = false;  // the run holds a long-query turn
};

}  // namespace storage::sqlite
