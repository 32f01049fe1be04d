#pragma once

#include "shell/form.h"

class QLabel;
class QLineEdit;
class QPushButton;

// The sign-in window and the program's main form: closing it ends the program.
class Tuser_login : public Form {
  Q_OBJECT

 public:
  explicit Tuser_login(QWidget* parent = nullptr);

  QLabel* Label1;
  QLineEdit* edit1;  // identity number
  QLabel* Label2;
  QLineEdit* Edit2;  // password, shown as "*"; Enter signs in
  QPushButton* Button1;
  QPushButton* Button2;

  void Button1Click();
  void Button2Click();

 protected:
  void FormClose() override;

 private:
  void openWindowOf(int role);
};
