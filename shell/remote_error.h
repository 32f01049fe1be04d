#pragma once

#include <QString>
#include <exception>

// An error raised by the data service: a transport failure, a refusal from the application
// server (with its reason) or a dataset used in the wrong state. It ends the handler where it
// stands; the handler wrapper (shell/guard.h) shows its text in the standard error box.
class RemoteError : public std::exception {
 public:
  explicit RemoteError(QString reason) : reason_(std::move(reason)), bytes_(reason_.toUtf8()) {}
  const QString& reason() const { return reason_; }
  const char* what() const noexcept override { return bytes_.constData(); }

 private:
  QString reason_;
  QByteArray bytes_;
};
