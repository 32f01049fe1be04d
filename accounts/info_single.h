#pragma once

#include "shell/form.h"

class QComboBox;
class QLineEdit;
class QPushButton;
class RemoteDataset;

// 用户信息: the account view of the person chosen in the account lookup. It shows the identity
// number, the name and the role; after 编辑, 保存 writes a new name to `info`, then a new
// password (at most 10 GB2312 bytes; an empty box keeps the old one) and role to the account.
// A name typed for a person without an `info` row is not saved, and the message says so before
// what became of the account. The password is never shown.
class Tsigle_info : public Form {
  Q_OBJECT

 public:
  explicit Tsigle_info(QWidget* parent = nullptr);

  QLineEdit* Edit1;            // 身份证号, always disabled
  QLineEdit* Edit2;            // 姓名
  QLineEdit* Edit3;            // 密码: a new one, shown in clear
  QComboBox* edit4;            // 权限
  QPushButton* Button1;        // 编辑
  QPushButton* Button2;        // 保存
  QPushButton* Button3;        // 退出
  RemoteDataset* search_info;  // the one-person reads and the name write
  RemoteDataset* user_name;    // the account write

  void Button1Click();
  void Button2Click();
  void Button3Click();

 protected:
  void FormShow() override;
  void FormClose() override;

 private:
  // Viewing: the inputs and 保存 disabled. Editing: all but the identity number enabled.
  void setEditing(bool editing);
  // What became of a typed name.
  enum class NameWrite {
    Kept,     // the box is empty, or holds the stored name
    Written,  // written to the person's `info` row
    NoRow,    // the person has no `info` row: not saved
  };
  // Writes the trimmed name, when there is one, to the person's `info` row.
  NameWrite saveName();
  // (Re)opens search_info on `text` with the person's identity number bound.
  void read(const QString& text);

  QString id_;  // the person loaded by the last show step
};
