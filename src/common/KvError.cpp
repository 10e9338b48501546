// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/KvError.h"

#include "common/Unicode.h"

#include <utility>

EKvError::EKvError(std::u16string message)
    : FMessage(std::move(message)), FMessageUtf8(Utf16ToUtf8(FMessage)) {}

std::u16string CurrentExceptionMessage() {
  try {
    throw;
  } catch (const EKvError &error) {
    return error.Message();
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
