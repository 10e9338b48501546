#include "common/KvError.h"

#include "common/Unicode.h"

#include <utility>

EKvError::EKvError(std::u16string message)
    : FMessage(std::move(message)), FMessageUtf8(Utf16ToUtf8(FMessage)) {}
