// SPDX-License-Identifier: GPL-3.0-or-later
// What the fuzzers share: a property that fails aborts, so that libFuzzer keeps the input; and a
// scratch folder for the parsers that read files, in memory where the machine has /dev/shm.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>
#include <unistd.h>

inline void Check(bool condition) {
  if (!condition)
    std::abort();
}

// A folder of its own, made once per fuzzer process and removed with it.
class TScratchFolder {
public:
  explicit TScratchFolder(const std::string &name) {
    std::string pattern = std::string(access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp") +
                          "/kv-" + name + "-XXXXXX";
    Check(mkdtemp(pattern.data()) != nullptr);
    FPath = pattern;
  }
  ~TScratchFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(FPath, ignored);
  }
  TScratchFolder(const TScratchFolder &) = delete;
  TScratchFolder &operator=(const TScratchFolder &) = delete;

  const std::string &Path() const { return FPath; }

private:
  std::string FPath;
};
