#pragma once

#include "accounts/person_lookup.h"

// 用户信息修改: finds persons by identity number or by name; a double-click opens the account
// view of the person (sigle_info). The last result stays in the grid.
class Tadjust_info : public accounts::PersonLookup {
  Q_OBJECT

 public:
  explicit Tadjust_info(QWidget* parent = nullptr);

  RemoteDataset* search_date;  // the lookup result

  void Button2Click();
  void DBGrid1DblClick() override;
};
