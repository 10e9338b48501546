// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/KvError.h"

#include "common/Unicode.h"

#include <utility>

namespace {

std::u16string Joined(const std::u16string &message, const std::u16string &detail) {
  if (detail.empty())
    return message;
  const bool closed = !message.empty() && message.back() <= u'.';
  return message + (closed ? u"\n\n" : u".\n\n") + detail;
}

} // namespace

EKvError::EKvError(std::u16string message, std::u16string detail)
    : FMessage(std::move(message)), FDetail(std::move(detail)), FText(Joined(FMessage, FDetail)),
      FTextUtf8(Utf16ToUtf8(FText)) {}

std::u16string CurrentExceptionMessage() {
  try {
    throw;
  } catch (const EKvError &error) {
    return error.Text();
  } catch (const std::exception &error) {
    return Utf8ToUtf16(error.what());
  } catch (...) {
    return u"Unknown error";
  }
}

void TKvFirstError::Run(const std::function<void()> &step) {
  try {
    step();
  } catch (...) {
    if (!Message)
      Message = CurrentExceptionMessage();
  }
}

void TKvFirstError::Raise() const {
  if (Message)
    throw EKvError(*Message);
}
