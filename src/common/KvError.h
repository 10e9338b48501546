// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <exception>
#include <functional>
#include <optional>
#include <string>

// The one failure type of the program: it carries the exact message text the user is shown.
class EKvError : public std::exception {
public:
  explicit EKvError(std::u16string message);

  const std::u16string &Message() const noexcept { return FMessage; }
  // The message as UTF-8, for logs and terminals.
  const char *what() const noexcept override { return FMessageUtf8.c_str(); }

private:
  std::u16string FMessage;
  std::string FMessageUtf8;
};

// The message of the exception being handled, for a catch (...) at a handler boundary: an
// EKvError's text, another exception's what() read as UTF-8, or "Unknown error".
std::u16string CurrentExceptionMessage();

// Runs steps that must all be tried, keeping the message of the first that fails (as
// CurrentExceptionMessage gives it).
struct TKvFirstError {
  std::optional<std::u16string> Message;

  void Run(const std::function<void()> &step);
  // Raises EKvError with the first message, when a step failed.
  void Raise() const;
};
