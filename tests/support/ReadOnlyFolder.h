// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A folder made read-only for the life of a scope, for root as for any other user. Root passes
// over file modes through its capabilities, and the tests run as root in CI: meanwhile the calling
// thread drops the capabilities that override file permissions from its effective set (the kernel
// keeps them per thread), and takes them back at the end. Whatever the test does to the folder
// in between must run on this thread.

#include <filesystem>
#include <gtest/gtest.h>
#include <linux/capability.h>
#include <optional>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

// File modes bind the calling thread as they bind every user, for the life of a scope: the thread
// drops the capabilities that override them and takes them back at the end.
class TFileModesBind {
public:
  TFileModesBind() {
    EXPECT_EQ(syscall(SYS_capget, &FHeader, FSaved), 0);
    __user_cap_data_struct reduced[2] = {FSaved[0], FSaved[1]};
    reduced[0].effective &=
        ~(1u << CAP_DAC_OVERRIDE | 1u << CAP_DAC_READ_SEARCH | 1u << CAP_FOWNER);
    EXPECT_EQ(syscall(SYS_capset, &FHeader, reduced), 0);
  }
  ~TFileModesBind() { EXPECT_EQ(syscall(SYS_capset, &FHeader, FSaved), 0); }
  TFileModesBind(const TFileModesBind &) = delete;
  TFileModesBind &operator=(const TFileModesBind &) = delete;

private:
  __user_cap_header_struct FHeader{_LINUX_CAPABILITY_VERSION_3, 0};
  __user_cap_data_struct FSaved[2] = {};
};

class TReadOnlyFolder {
public:
  explicit TReadOnlyFolder(std::filesystem::path folder) : FFolder(std::move(folder)) {
    struct stat info {};
    EXPECT_EQ(stat(FFolder.c_str(), &info), 0) << FFolder;
    FMode = info.st_mode & 07777;
    FBinding.emplace();
    EXPECT_EQ(chmod(FFolder.c_str(), 0555), 0) << FFolder;
  }
  ~TReadOnlyFolder() {
    FBinding.reset();
    EXPECT_EQ(chmod(FFolder.c_str(), FMode), 0) << FFolder;
  }
  TReadOnlyFolder(const TReadOnlyFolder &) = delete;
  TReadOnlyFolder &operator=(const TReadOnlyFolder &) = delete;

private:
  std::filesystem::path FFolder;
  mode_t FMode = 0;
  std::optional<TFileModesBind> FBinding;
};
