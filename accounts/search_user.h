#pragma once

#include "accounts/person_lookup.h"

// 查询: finds persons by identity number or by name; a double-click opens the person's basic
// information page, as the main window's does.
class Tsearch : public accounts::PersonLookup {
  Q_OBJECT

 public:
  explicit Tsearch(QWidget* parent = nullptr);

  RemoteDataset* search_date;  // the lookup result

  // 退出: clears the search text and the result, and closes the form.
  void Button2Click();
  void DBGrid1DblClick() override;
};
