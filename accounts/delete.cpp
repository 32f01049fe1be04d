#include "accounts/delete.h"

#include <QPushButton>
#include <QScopeGuard>

#include "accounts/account_data.h"
#include "shell/dialogs.h"
#include "shell/notifier.h"
#include "shell/person_row.h"
#include "shell/remote_dataset.h"

Tdelete_single::Tdelete_single(QWidget* parent)
    : PersonLookup(QStringLiteral("delete_single"), QStringLiteral("删除人员"),
                   {true, QString(), true, false}, QStringLiteral("user"),
                   QStringLiteral("datasetprovider_temp4"), parent),
      user(result()),
      user_name(new RemoteDataset(QStringLiteral("DataSetProvider_user"), this)),
      info(new RemoteDataset(QStringLiteral("DataSetProvider_info"), this)) {
  user_name->setObjectName(QStringLiteral("user_name"));
  info->setObjectName(QStringLiteral("info"));
  onClick(Button2, &Tdelete_single::Button2Click);
}

void Tdelete_single::Button2Click() { close(); }

void Tdelete_single::DBGrid1DblClick() {
  const QString id = currentId();
  if (id.isEmpty()) return;
  // The question names the row that goes, whatever was typed into the lookup.
  if (!Dialogs::current().question(
          this, QStringLiteral("是否真的要删除%1（%2）的记录!").arg(currentText(1), id)))
    return;
  const auto closeRows = qScopeGuard([this] {
    user_name->close();
    info->close();
  });
  for (RemoteDataset* rows : {user_name, info}) {
    accounts::openPerson(*rows, id);
    if (locatePerson(*rows, id)) rows->remove();
  }
  applyTogether({user_name, info});
  user->refresh();
  notifier::personChanged(id);
  showMessage(this, QStringLiteral("删除成功!"));
}

void Tdelete_single::FormClose() { user->close(); }
