#include "query/account_import.h"

#include <QRegularExpression>

#include "query/spreadsheet.h"
#include "schema/limits.h"
#include "schema/values.h"
#include "shell/dialogs.h"
#include "shell/remote_dataset.h"
#include "shell/remote_error.h"
#include "shell/signin.h"

namespace query {

namespace {

using Action = AccountImport::Action;

const QString kInfoNames = QStringLiteral("select id,name from info");
const QStringList kRoles = {QStringLiteral("0"), QStringLiteral("1"), QStringLiteral("2")};

// Trimmed id → the first row holding it, in stored order.
QHash<QString, int> rowsById(const RemoteDataset& dataset) {
  QHash<QString, int> rows;
  const int id = dataset.fieldIndex(u"id");
  for (int r = dataset.recordCount() - 1; r >= 0; --r)
    rows[schema::trim(dataset.value(r, id).toString())] = r;
  return rows;
}

// A number as a spreadsheet shows it with an exponent: an identity number kept in a number
// cell, its last digits already rounded away.
bool isRoundedNumber(const QString& text) {
  static const QRegularExpression number(QStringLiteral("^[+-]?\\d+(\\.\\d*)?[eE][+-]?\\d+$"));
  return number.match(text).hasMatch();
}

// Why a cell's text cannot be stored in `table`.`column`: empty, or longer than the column
// allows (the server would refuse the whole batch for it).
void checkValue(QStringList& reasons, const QString& text, const QString& caption,
                QStringView table, QStringView column) {
  const schema::Column& bound = *schema::table(table)->column(column);
  if (text.isEmpty())
    reasons << caption + QStringLiteral("为空");
  else if (schema::exceedsBound(bound, text))
    reasons << QStringLiteral("%1超过 %2 字节").arg(caption).arg(schema::maxValueBytes(bound));
}

// Why a row cannot be written; `storedRole` is the role of the account it would overwrite.
// An administrator (role 1) may neither give role 0 nor touch a role-0 account: the server
// would refuse the whole batch for it.
QString reasonsOf(const AccountImport::Row& row, const QVariant& storedRole) {
  QStringList reasons;
  checkValue(reasons, row.id, QStringLiteral("身份证号"), schema::kAccounts, u"id");
  if (isRoundedNumber(row.id))
    reasons << QStringLiteral(
                   "身份证号是数字 %1，末几位已丢失：请将身份证号列设为文本格式，"
                   "重新输入身份证号后再导入")
                   .arg(row.id);
  checkValue(reasons, row.name, QStringLiteral("姓名"), u"info", u"name");
  checkValue(reasons, row.password, QStringLiteral("密码"), schema::kAccounts, u"password");
  if (!kRoles.contains(row.role)) reasons << QStringLiteral("权限不是 0、1 或 2");
  if (SignIn::state().role == 1) {
    if (row.role == kRoles[0]) reasons << QStringLiteral("管理员不能授予超级管理员权限");
    if (!storedRole.isNull() && storedRole.toString() == kRoles[0])
      reasons << QStringLiteral("管理员不能覆盖超级管理员的账户");
  }
  return reasons.join(QStringLiteral("；"));
}

}  // namespace

AccountImport::AccountImport(RemoteDataset& accounts, RemoteDataset& info)
    : accounts_(accounts), info_(info) {}

void AccountImport::plan(const QString& path) {
  rows_.clear();
  const QList<QStringList> sheet = spreadsheet::readFirstSheet(path);
  accounts_.close();
  accounts_.open();
  info_.close();
  info_.setCommandText(kInfoNames);
  info_.open();
  accountRows_ = rowsById(accounts_);
  infoRows_ = rowsById(info_);

  QHash<QString, int> lastLine;  // identity number → the last line bearing it
  for (qsizetype r = 1; r < sheet.size(); ++r) {
    const QStringList& cells = sheet[r];
    Row row;
    row.line = int(r + 1);
    row.name = schema::trim(cells.value(0));
    row.id = schema::trim(cells.value(1));
    row.password = schema::trim(cells.value(2));
    row.role = schema::trim(cells.value(3));
    if (row.name.isEmpty() && row.id.isEmpty() && row.password.isEmpty() && row.role.isEmpty())
      row.action = Action::Blank;
    else if (row.reason = reasonsOf(row, storedRole(row.id)); !row.reason.isEmpty())
      row.action = Action::Refuse;
    else
      row.action = accountRows_.contains(row.id) ? Action::Overwrite : Action::Add;
    if (!row.id.isEmpty()) lastLine[row.id] = row.line;
    rows_ << row;
  }
  for (Row& row : rows_) {
    const int last = lastLine.value(row.id, row.line);
    if (row.action == Action::Blank || last == row.line) continue;
    const QString later = QStringLiteral("第 %1 行的身份证号与此行相同，以第 %1 行为准").arg(last);
    row.reason = row.reason.isEmpty() ? later : later + QStringLiteral("；") + row.reason;
    row.action = Action::Superseded;
  }
}

QVariant AccountImport::storedRole(const QString& id) const {
  const auto found = accountRows_.constFind(id);
  return found == accountRows_.constEnd() ? QVariant()
                                          : accounts_.value(*found, accounts_.fieldIndex(u"qx"));
}

AccountImport::Counts AccountImport::planned() const {
  Counts counts;
  for (const Row& row : rows_) {
    if (row.action == Action::Add) ++counts.added;
    if (row.action == Action::Overwrite) ++counts.overwritten;
    if (row.action == Action::Refuse) ++counts.refused;
    if (row.action == Action::Superseded) ++counts.superseded;
  }
  return counts;
}

void AccountImport::writeRow(const Row& row) {
  auto editOrAppend = [&row](RemoteDataset& dataset, QHash<QString, int>& rows) {
    const auto found = rows.constFind(row.id);
    if (found != rows.constEnd()) {
      dataset.moveTo(*found);
      dataset.edit();
    } else {
      dataset.append();
      rows.insert(row.id, dataset.recNo());
    }
    dataset.setField(u"id", row.id);
  };
  editOrAppend(accounts_, accountRows_);
  accounts_.setField(u"password", row.password);
  accounts_.setField(u"qx", qint64(row.role.toInt()));
  accounts_.post();
  editOrAppend(info_, infoRows_);
  info_.setField(u"name", row.name);
  info_.post();
}

AccountImport::Outcome AccountImport::write(Progress& progress) {
  QList<const Row*> good;
  for (const Row& row : rows_)
    if (row.action == Action::Add || row.action == Action::Overwrite) good << &row;

  Outcome outcome;
  for (qsizetype start = 0; start < good.size(); start += kBatchRows) {
    Counts batch;
    for (qsizetype i = start; i < qMin(start + kBatchRows, good.size()); ++i) {
      writeRow(*good[i]);
      ++(good[i]->action == Action::Add ? batch.added : batch.overwritten);
    }
    try {
      applyTogether({&accounts_, &info_});
    } catch (const RemoteError& e) {
      outcome.failure = e.reason();
      return outcome;
    }
    outcome.written.added += batch.added;
    outcome.written.overwritten += batch.overwritten;
    if (!progress.advance(outcome.written.written())) {
      outcome.cancelled = start + kBatchRows < good.size();
      return outcome;
    }
  }
  return outcome;
}

QStringList AccountImport::headings() {
  return {QStringLiteral("行号"), QStringLiteral("姓名"), QStringLiteral("身份证号"),
          QStringLiteral("权限"), QStringLiteral("处理")};
}

QString AccountImport::actionText(const Row& row) {
  switch (row.action) {
    case Action::Add:
      return QStringLiteral("新增账户");
    case Action::Overwrite:
      return QStringLiteral("覆盖已有账户");
    case Action::Refuse:
      return QStringLiteral("拒绝：") + row.reason;
    case Action::Superseded:
      return QStringLiteral("被后面的行覆盖：") + row.reason;
    case Action::Blank:
      break;
  }
  return QStringLiteral("空行，略过");
}

QList<QStringList> AccountImport::table() const {
  QList<QStringList> lines;
  for (const Row& row : rows_)
    lines << QStringList{QString::number(row.line), row.name, row.id, row.role, actionText(row)};
  return lines;
}

namespace {

// "新增 a 个，覆盖 b 个，拒绝 c 个。", with the rows superseded by later rows when there are any.
QString countsText(const AccountImport::Counts& c) {
  QString text = QStringLiteral("新增 %1 个，覆盖 %2 个，拒绝 %3 个")
                     .arg(c.added)
                     .arg(c.overwritten)
                     .arg(c.refused);
  if (c.superseded > 0) text += QStringLiteral("，被后面的行覆盖 %1 行").arg(c.superseded);
  return text + QStringLiteral("。");
}

}  // namespace

QString AccountImport::summary() const {
  return QStringLiteral("共 %1 行：").arg(rows_.size()) + countsText(planned());
}

QString AccountImport::outcomeText(const Outcome& outcome) const {
  const Counts& w = outcome.written;
  const QString written = QStringLiteral("已写入 %1 个（新增 %2 个，覆盖 %3 个），其余未写入。")
                              .arg(w.written())
                              .arg(w.added)
                              .arg(w.overwritten);
  if (!outcome.failure.isEmpty()) return outcome.failure + u'\n' + written;
  if (outcome.cancelled) return QStringLiteral("导入已取消：") + written;
  Counts done = planned();
  done.added = w.added;
  done.overwritten = w.overwritten;
  return QStringLiteral("批量导入成功!\n") + countsText(done);
}

}  // namespace query
