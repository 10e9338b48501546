// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <exception>
#include <functional>
#include <optional>
#include <string>

// The one failure type of the program. Its message is the exact text the user is shown; its
// detail is the system's reason behind it, for a message whose text is fixed and has no room for
// one ("Stream write error" on a full disk: "No space left on device").
class EKvError : public std::exception {
public:
  explicit EKvError(std::u16string message, std::u16string detail = {});

  const std::u16string &Message() const noexcept { return FMessage; }
  // The system's reason, or empty.
  const std::u16string &Detail() const noexcept { return FDetail; }
  // What is shown wherever errors are: the message, and the detail as a paragraph of its own
  // after it, the message closed by a full stop where the error box would add one: "Stream write
  // error.\n\nNo space left on device". Without a detail, the message as it stands.
  const std::u16string &Text() const noexcept { return FText; }
  // Text as UTF-8, for logs and terminals.
  const char *what() const noexcept override { return FTextUtf8.c_str(); }

private:
  std::u16string FMessage;
  std::u16string FDetail;
  std::u16string FText;
  std::string FTextUtf8;
};

// The text of the exception being handled, for a catch (...) at a handler boundary: an
// EKvError's Text(), another exception's what() read as UTF-8, or "Unknown error".
std::u16string CurrentExceptionMessage();

// Runs steps that must all be tried, keeping the message of the first that fails (as
// CurrentExceptionMessage gives it).
struct TKvFirstError {
  std::optional<std::u16string> Message;

  void Run(const std::function<void()> &step);
  // Raises EKvError with the first message, when a step failed.
  void Raise() const;
};
