// SPDX-License-Identifier: GPL-3.0-or-later
// The start-at-log-on registration is a desktop entry that the user, the desktop's settings or
// another program may have written. Reading any bytes as that entry must either give a program
// path or fail with "Invalid data type for '<name>'"; and the entry the program writes for any
// program path must read back as exactly that path (the quoting and escaping of its Exec line
// undone). The input serves as both: the entry's bytes and, when it is UTF-8, the path.
//
// The entry lives in a temporary configuration folder, on tmpfs where the system has it.

#include "FuzzSupport.h"
#include "common/KvError.h"
#include "common/Unicode.h"
#include "platform/AutoStart.h"
#include "platform/Environment.h"
#include "platform/posix/AutoStart.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>
#include <unistd.h>

namespace {

const std::u16string Name = u"Korvane Quillgate";

const IKvEnvironment &Environment() {
  static const TScratchFolder folder("autostart");
  static TKvFixedEnvironment env({{"XDG_CONFIG_HOME", folder.Path()}, {"HOME", folder.Path()}});
  return env;
}

void WriteEntry(const std::string &path, std::string_view bytes) {
  std::FILE *file = std::fopen(path.c_str(), "wb");
  Check(file != nullptr);
  Check(std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size());
  Check(std::fclose(file) == 0);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const IKvEnvironment &env = Environment();
  const std::string_view input(reinterpret_cast<const char *>(data), size);
  std::filesystem::create_directories(AutoStartFolder(env));

  WriteEntry(AutoStartFile(env), input);
  try {
    ReadAutoStart(env, Name);
  } catch (const EKvError &e) {
    Check(e.Message() == u"Invalid data type for '" + Name + u"'");
  }

  bool valid = false;
  const std::u16string path = Utf8ToUtf16(input, &valid);
  if (valid && !path.empty() && path.find(u'\0') == std::u16string::npos) {
    WriteAutoStart(env, Name, path);
    Check(ReadAutoStart(env, Name) == path);
  }
  RemoveAutoStart(env, Name);
  Check(ReadAutoStart(env, Name).empty());
  return 0;
}
