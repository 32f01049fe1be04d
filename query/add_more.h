#pragma once

#include <memory>

#include "shell/form.h"

class QLineEdit;
class QPushButton;
class RemoteDataset;
namespace query {
class AccountImport;
}

// 批量导入用户数据: creates or overwrites many accounts at once from a spreadsheet file. The
// rows are checked and previewed before anything is written (query/account_import.h).
class Tmore_add : public Form {
  Q_OBJECT

 public:
  explicit Tmore_add(QWidget* parent = nullptr);
  ~Tmore_add() override;

  QLineEdit* edit1;      // 导入文件
  QPushButton* Button1;  // 浏览
  QPushButton* button2;  // 开始导入
  QPushButton* Button3;  // 退出
  RemoteDataset* user_name;
  RemoteDataset* info;

  void Button1Click();
  void button2Click();
  void Button3Click();

 protected:
  void FormClose() override;

 private:
  std::unique_ptr<query::AccountImport> import_;
};
