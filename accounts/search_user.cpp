#include "accounts/search_user.h"

#include <QLineEdit>
#include <QPushButton>

#include "shell/forms.h"
#include "shell/remote_dataset.h"
#include "shell/signin.h"

Tsearch::Tsearch(QWidget* parent)
    : PersonLookup(QStringLiteral("search"), QStringLiteral("查询"),
                   {false, QStringLiteral("请输入要查询的内容，不能为空!"), false, true},
                   QStringLiteral("search_date"), QStringLiteral("DataSetProvider_search"), parent),
      search_date(result()) {
  onClick(Button2, &Tsearch::Button2Click);
}

void Tsearch::Button2Click() {
  Edit1->clear();
  search_date->close();
  close();
}

void Tsearch::DBGrid1DblClick() {
  SignIn::state().currentPersonId = currentId();
  forms::show(u"info_basic");
}
