#pragma once

#include <QString>
#include <optional>
#include <utility>
#include <variant>

// Errors travel as values: a Result holds either the value or a reason fit to be shown to the
// user (in Chinese, as every message of the system).
namespace storage {

struct Error {
  QString reason;
};

template <typename T>
class [[nodiscard]] Result {
 public:
  Result(T value) : state_(std::move(value)) {}
  Result(Error error) : state_(std::move(error)) {}

  bool ok() const { return std::holds_alternative<T>(state_); }
  explicit operator bool() const { return ok(); }
  // The reason of a failure; empty on success.
  const QString& error() const {
    static const QString none;
    return ok() ? none : std::get<Error>(state_).reason;
  }

  T& operator*() { return std::get<T>(state_); }
  const T& operator*() const { return std::get<T>(state_); }
  T* operator->() { return &std::get<T>(state_); }
  const T* operator->() const { return &std::get<T>(state_); }

 private:
  std::variant<T, Error> state_;
};

// A result without a value.
using Status = Result<std::monostate>;
inline Status ok() { return std::monostate{}; }

}  // namespace storage
