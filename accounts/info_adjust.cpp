#include "accounts/info_adjust.h"

#include <QPushButton>

#include "accounts/account_data.h"
#include "shell/forms.h"

Tadjust_info::Tadjust_info(QWidget* parent)
    : PersonLookup(QStringLiteral("adjust_info"), QStringLiteral("用户信息修改"),
                   {false, QStringLiteral("请输入要查询的内容，不能为空!"), false, true},
                   QStringLiteral("search_date"), QStringLiteral("DataSetProvider_search"), parent),
      search_date(result()) {
  onClick(Button2, &Tadjust_info::Button2Click);
}

void Tadjust_info::Button2Click() { close(); }

void Tadjust_info::DBGrid1DblClick() {
  accounts::selectedAccountId() = currentId();
  forms::show(u"sigle_info");
}
