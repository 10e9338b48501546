// SPDX-License-Identifier: GPL-3.0-or-later
#include "sites/KeptCopy.h"

#include "common/KvError.h"
#include "platform/FileSystem.h"

#include <limits>
#include <string>

std::u16string KeepCopy(const std::u16string &path, std::u16string_view why,
                        const ByteArray &bytes) {
  const std::u16string first = path + u"." + std::u16string(why) + u".bak";
  for (int number = 0;; ++number) {
    const std::string digits = std::to_string(number);
    std::u16string name =
        number == 0 ? first : first + u"." + std::u16string(digits.begin(), digits.end());
    if (CreateNewFile(name, bytes))
      return name;
    if (number == std::numeric_limits<int>::max())
      throw EKvError(u"Cannot create file \"" + first + u"\". Every name is taken");
  }
}

std::u16string InvalidTextNotice(const std::u16string &path, const std::u16string &copy,
                                 std::u16string_view lost) {
  return u"\"" + path +
         u"\" held bytes that are not text; the list was written with U+FFFD in "
         u"their place. The file as it was is kept in \"" +
         copy + u"\": compare the two if " + std::u16string(lost) + u" is missing.";
}
