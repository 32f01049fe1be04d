#pragma once

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

class Progress;
class RemoteDataset;

namespace query {

// The batch import of accounts from a spreadsheet, the same from the import form and the command
// line. Below the heading row, every row of the first sheet is one person: name, identity
// number, password, role. Each good row writes the account (`user_name`: id, password, role) and
// the person's name (`info`: id, name), overwriting what the identity number already has.
class AccountImport {
 public:
  // Superseded: a later row bears the same identity number and is the one that counts.
  enum class Action { Add, Overwrite, Refuse, Superseded, Blank };

  struct Row {
    int line = 0;                      // row number in the sheet
    QString name, id, password, role;  // trimmed cell texts
    Action action = Action::Add;
    QString reason;  // why the row is refused or superseded
  };

  struct Counts {
    int added = 0;
    int overwritten = 0;
    int refused = 0;
    int superseded = 0;
    int written() const { return added + overwritten; }
  };

  struct Outcome {
    Counts written;
    bool cancelled = false;  // the user stopped it with rows left unwritten
    QString failure;         // the server's reason when a batch was refused
  };

  // Good rows written per apply: each batch is one transaction over both tables.
  static constexpr int kBatchRows = 50;

  // `accounts` must be over DataSetProvider_user and `info` over a command-text provider; the
  // import opens and writes both.
  AccountImport(RemoteDataset& accounts, RemoteDataset& info);

  // Reads the workbook at `path` (the first sheet, from row 2 to its last used row) and decides
  // what each row will do, after one read of the accounts and one of the `info` names. A row is
  // refused when its identity number, password or name is empty or longer than its column
  // allows (schema/limits.h), when its identity number is a number the spreadsheet has
  // rounded ("9.00000000000001e+17"), when its role is not 0, 1 or 2, and, for a signed-in
  // administrator (role 1), when it gives role 0 or overwrites a role-0 account: every check
  // the server makes, so a plan without refusals is written whole. Of rows sharing an identity
  // number only the last counts; the earlier ones are superseded. Throws spreadsheet::Error or
  // RemoteError.
  void plan(const QString& path);
  const QList<Row>& rows() const { return rows_; }
  Counts planned() const;

  // Writes the rows planned to be added or overwritten, kBatchRows to an apply. `progress` hears
  // the rows written after each batch; when it asks to cancel, the import stops there. A batch
  // the server refuses ends the import with the server's reason; the batches before it stay.
  Outcome write(Progress& progress);

  // The plan as a table for the preview: line, name, identity number, role, what happens.
  static QStringList headings();
  QList<QStringList> table() const;
  // "共 N 行：新增 …，覆盖 …，拒绝 …。", and how many rows later rows supersede, if any.
  QString summary() const;
  // What the user is told afterwards: "批量导入成功!" with the counts, or why not all was done.
  QString outcomeText(const Outcome& outcome) const;
  static QString actionText(const Row& row);

 private:
  void writeRow(const Row& row);
  // `qx` of the account the identity number already has; null when it has none.
  QVariant storedRole(const QString& id) const;

  RemoteDataset& accounts_;
  RemoteDataset& info_;
  QList<Row> rows_;
  QHash<QString, int> accountRows_;  // trimmed id → first row of it in `accounts_`
  QHash<QString, int> infoRows_;     // the same in `info_`
};

}  // namespace query
