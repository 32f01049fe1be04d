#pragma once

#include "accounts/person_lookup.h"

// 删除人员: finds persons by identity number or by name; a double-click deletes the person of the
// row after a Yes/No question: the person's account and `info` row, in one write. The person's
// rows in the other tables stay.
class Tdelete_single : public accounts::PersonLookup {
  Q_OBJECT

 public:
  explicit Tdelete_single(QWidget* parent = nullptr);

  RemoteDataset* user;       // the lookup result
  RemoteDataset* user_name;  // the person's account
  RemoteDataset* info;       // the person's info row

  void Button2Click();
  void DBGrid1DblClick() override;

 protected:
  void FormClose() override;
};
