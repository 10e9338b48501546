// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/KvError.h"

#include "common/Unicode.h"

#include <functional>
#include <gtest/gtest.h>
#include <stdexcept>
#include <string>

namespace {

TEST(CurrentExceptionMessage, GivesTheTextOfWhateverWasThrown) {
  const struct {
    const char *what;
    std::function<void()> raise;
    std::u16string message;
  } rows[] = {
      {"the program's own error", [] { throw EKvError(u"Cannot open file \"ä\". Gone"); },
       u"Cannot open file \"ä\". Gone"},
      {"the program's own error with the system's reason behind its fixed text",
       [] { throw EKvError(u"Stream write error", u"No space left on device"); },
       u"Stream write error.\n\nNo space left on device"},
      {"a fixed text that closes itself",
       [] { throw EKvError(u"Cannot create file \"x\".", u"Input/output error"); },
       u"Cannot create file \"x\".\n\nInput/output error"},
      {"another exception, its text in UTF-8",
       [] { throw std::runtime_error("n\xC3\xA4me too long"); }, u"näme too long"},
      {"no exception at all", [] { throw 42; }, u"Unknown error"},
  };
  for (const auto &row : rows) {
    SCOPED_TRACE(row.what);
    try {
      row.raise();
      ADD_FAILURE() << "nothing was thrown";
    } catch (...) {
      EXPECT_EQ(Utf16ToUtf8(CurrentExceptionMessage()), Utf16ToUtf8(row.message));
    }
  }
}

} // namespace
