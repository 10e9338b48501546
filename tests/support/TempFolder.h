// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <random>
#include <string>

// A fresh folder per test, removed afterwards; tests never touch the user's own files.
class TempFolderTest : public ::testing::Test {
protected:
  void SetUp() override {
    std::random_device random;
    for (int attempt = 0; attempt < 100 && folder.empty(); ++attempt) {
      const auto candidate =
          std::filesystem::temp_directory_path() / ("kvtest." + std::to_string(random()));
      if (std::filesystem::create_directory(candidate))
        folder = candidate;
    }
    ASSERT_FALSE(folder.empty());
  }
  void TearDown() override {
    std::error_code ignored;
    std::filesystem::permissions(folder, std::filesystem::perms::owner_all, ignored);
    std::filesystem::remove_all(folder, ignored);
  }

  // The path as the program's own text (UTF-16), on every system.
  static std::u16string U(const std::filesystem::path &path) { return path.u16string(); }

  std::string ReadFile(const std::filesystem::path &path) const {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }
  void WriteFile(const std::filesystem::path &path, const std::string &bytes) const {
    std::ofstream(path, std::ios::binary) << bytes;
  }

  std::filesystem::path folder;
};
