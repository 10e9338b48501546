// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/SecureZero.h"

#include <gtest/gtest.h>
#include <stdexcept>
#include <string>

namespace {

TEST(WipeOnExit, ZeroesEveryCharacterWhenTheScopeEndsNormallyOrByAnException) {
  std::u16string text = u"master \U0001F511 password";
  std::string bytes = "caf\xc3\xa9 key";
  const std::size_t characters = text.size(), count = bytes.size();
  {
    const TKvWipeOnExit wipeText(text);
    const TKvWipeOnExit wipeBytes(bytes);
  }
  EXPECT_EQ(text, std::u16string(characters, u'\0'));
  EXPECT_EQ(bytes, std::string(count, '\0'));

  text = u"thrown past";
  EXPECT_THROW(
      {
        const TKvWipeOnExit wipe(text);
        throw std::runtime_error("a failure");
      },
      std::runtime_error);
  EXPECT_EQ(text, std::u16string(11, u'\0'));
}

} // namespace
