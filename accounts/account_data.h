#pragma once

#include <QString>
#include <QVariant>
#include <optional>

class RemoteDataset;

// What the account forms share about accounts: the role names, the password limit, the account
// chosen in the account lookup, and reading one person's rows of a table.
namespace accounts {

// The `qx` a role name stands for: "超级管理员" 0, "管理员" 1, "普通用户" 2. The text is compared
// exactly; any other text stands for no role.
std::optional<int> roleOf(const QString& name);
// The name of a stored `qx` of 0, 1 or 2; the empty text for anything else (null included).
QString roleName(const QVariant& qx);

// A password may hold at most this many bytes of GB2312 text (a Chinese character counts 2).
inline constexpr int kMaxPasswordBytes = 10;

// The identity number chosen by a double-click in the account lookup, read by the account view.
QString& selectedAccountId();

// (Re)opens a table provider's dataset on the rows whose trimmed `id` is `id`, in stored order.
void openPerson(RemoteDataset& dataset, const QString& id);

}  // namespace accounts
