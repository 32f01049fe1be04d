#pragma once

#include "shell/form.h"

class QComboBox;
class QLineEdit;
class QPushButton;
class RemoteDataset;

// 人员管理——增加: creates one account and the person's `info` row, in one write. An identity
// number that already exists is not refused: its account and name are overwritten.
class Tsingle_add : public Form {
  Q_OBJECT

 public:
  explicit Tsingle_add(QWidget* parent = nullptr);

  QLineEdit* edit1;      // 身份证号
  QLineEdit* Edit3;      // 姓名
  QLineEdit* edit2;      // 密码, shown in clear
  QComboBox* ComboBox1;  // 权限
  QPushButton* Button1;  // 确认
  QPushButton* Button2;  // 退出
  RemoteDataset* user_name;
  RemoteDataset* info;

  void Button1Click();
  void Button2Click();

 protected:
  // Clears the identity number and the password; the name and the role stay.
  void FormShow() override;
};
