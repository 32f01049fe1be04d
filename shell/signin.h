#pragma once

#include <QString>
#include <optional>

// The process-wide sign-in state: empty until the first successful sign-in, never cleared
// during the run. Every form reads it directly.
struct SignIn {
  QString identityNumber;   // as typed, trimmed
  QString password;         // as typed, trimmed
  std::optional<int> role;  // 0 超级管理员, 1 管理员, 2 普通用户
  QString currentPersonId;  // the person the record pages work on

  bool isOrdinaryUser() const { return role == 2; }
  bool isAdministrator() const { return role == 0 || role == 1; }

  static SignIn& state();
};
