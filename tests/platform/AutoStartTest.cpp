// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/AutoStart.h"

#include "common/KvError.h"
#include "common/Unicode.h"
#include "support/XdgFolders.h"

#include <memory>
#ifdef _WIN32
// clang-format off
#include <windows.h>
#include <sddl.h> // after windows.h, which it needs
// clang-format on
#else
#include "platform/posix/AutoStart.h"
#include "support/ReadOnlyFolder.h"
#endif

namespace {

const std::u16string Name = u"Korvane Quillgate test";

#ifdef _WIN32
const std::u16string PlainPath = u"C:\\Tools\\quillgate.exe";
const std::u16string SpacedPath = u"C:\\Program Files\\Korvane Quillgate\\quillgate.exe";
const std::u16string NonAsciiPath = u"C:\\Users\\Jörg\\Прога\\quillgate.exe";
#else
const std::u16string PlainPath = u"/opt/korvane/quillgate";
const std::u16string SpacedPath = u"/opt/Korvane Quillgate/quillgate";
const std::u16string NonAsciiPath = u"/home/jörg/прога/quillgate";
#endif

class AutoStart : public XdgFolderTest {
protected:
  void SetUp() override {
    XdgFolderTest::SetUp();
#ifdef _WIN32
    // The user's own Run key stays untouched: for this process the current user's registry is a
    // fresh key of the test's own, which starts without a Run key.
    privateRoot = L"Software\\Korvane Quillgate tests\\" + folder.filename().wstring();
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, privateRoot.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &privateKey, nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegOverridePredefKey(HKEY_CURRENT_USER, privateKey), ERROR_SUCCESS);
#endif
  }
  void TearDown() override {
#ifdef _WIN32
    RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
    if (privateKey != nullptr) {
      RegCloseKey(privateKey);
      RegDeleteTreeW(HKEY_CURRENT_USER, privateRoot.c_str());
      RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\Korvane Quillgate tests"); // when empty
    }
#endif
    XdgFolderTest::TearDown();
  }
#ifdef _WIN32
  std::wstring privateRoot;
  HKEY privateKey = nullptr;
#endif
};

// A registration that cannot be removed while this lives: on Windows the Run key grants reading
// only, on POSIX the autostart folder is read-only.
#ifdef _WIN32
class TUnremovable {
public:
  explicit TUnremovable(const IKvEnvironment &) {
    EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Run",
                            0, READ_CONTROL | WRITE_DAC, &FKey),
              ERROR_SUCCESS);
    SetAccess(L"D:P(A;;KR;;;WD)");
  }
  ~TUnremovable() {
    SetAccess(L"D:(A;;KA;;;WD)");
    RegCloseKey(FKey);
  }

private:
  void SetAccess(const wchar_t *descriptor) {
    PSECURITY_DESCRIPTOR security = nullptr;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(descriptor, SDDL_REVISION_1,
                                                                     &security, nullptr));
    EXPECT_EQ(RegSetKeySecurity(FKey, DACL_SECURITY_INFORMATION, security), ERROR_SUCCESS);
    LocalFree(security);
  }
  HKEY FKey = nullptr;
};
#else
class TUnremovable {
public:
  explicit TUnremovable(const IKvEnvironment &env) : FFolder(AutoStartFolder(env)) {}

private:
  TReadOnlyFolder FFolder;
};
#endif

TEST_F(AutoStart, RegistersReadsBackReplacesAndUnregisters) {
  EXPECT_EQ(ReadAutoStart(*env, Name), u"");
  RemoveAutoStart(*env, Name); // nothing registered: nothing happens
  for (const auto &path : {PlainPath, SpacedPath, NonAsciiPath}) {
    SCOPED_TRACE(Utf16ToUtf8(path));
    WriteAutoStart(*env, Name, path);
    EXPECT_EQ(ReadAutoStart(*env, Name), path);
  }
  RemoveAutoStart(*env, Name);
  EXPECT_EQ(ReadAutoStart(*env, Name), u"");
}

TEST_F(AutoStart, ARegistrationThatCannotBeRemovedIsReported) {
  WriteAutoStart(*env, Name, PlainPath);
  {
    const TUnremovable unremovable(*env);
    std::u16string error = u"no error";
    try {
      RemoveAutoStart(*env, Name);
    } catch (const EKvError &e) {
      error = e.Message();
    }
    EXPECT_EQ(error, u"Failed to delete data for 'Korvane Quillgate test'");
  }
  EXPECT_EQ(ReadAutoStart(*env, Name), PlainPath);
  RemoveAutoStart(*env, Name);
  EXPECT_EQ(ReadAutoStart(*env, Name), u"");
}

#ifdef _WIN32

// The Run value as the shell and other programs see it.
constexpr const wchar_t *RunKey = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";

void SetRaw(DWORD type, const void *data, DWORD size) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, RunKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                            nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(RegSetValueExW(key, reinterpret_cast<const wchar_t *>(Name.c_str()), 0, type,
                           static_cast<const BYTE *>(data), size),
            ERROR_SUCCESS);
  RegCloseKey(key);
}

void SetRawText(DWORD type, const std::u16string &text, bool withNul = true) {
  SetRaw(type, text.c_str(), DWORD((text.size() + (withNul ? 1 : 0)) * 2));
}

struct TRawValue {
  DWORD Type = REG_NONE;
  std::vector<uint8_t> Data;
};

TRawValue GetRaw() {
  TRawValue value;
  DWORD size = 0;
  const auto *name = reinterpret_cast<const wchar_t *>(Name.c_str());
  if (RegGetValueW(HKEY_CURRENT_USER, RunKey, name, RRF_RT_ANY | RRF_NOEXPAND, &value.Type, nullptr,
                   &size) != ERROR_SUCCESS)
    return value;
  value.Data.resize(size);
  RegGetValueW(HKEY_CURRENT_USER, RunKey, name, RRF_RT_ANY | RRF_NOEXPAND, &value.Type,
               value.Data.data(), &size);
  value.Data.resize(size);
  return value;
}

std::vector<uint8_t> AsStored(const std::u16string &text) {
  std::vector<uint8_t> bytes;
  for (char16_t c : text + u'\0') {
    bytes.push_back(uint8_t(c & 0xFF));
    bytes.push_back(uint8_t(c >> 8));
  }
  return bytes;
}

std::u16string ErrorOfRead(const IKvEnvironment &env) {
  try {
    ReadAutoStart(env, Name);
  } catch (const EKvError &e) {
    return e.Message();
  }
  return u"no error";
}

TEST_F(AutoStart, TheValueIsAStringWithItsNulAndQuotesOnlyAroundAPathWithASpace) {
  WriteAutoStart(*env, Name, PlainPath);
  TRawValue raw = GetRaw();
  EXPECT_EQ(raw.Type, DWORD(REG_SZ));
  EXPECT_EQ(raw.Data, AsStored(PlainPath));

  // Unquoted, the system would try "C:\Program.exe" first.
  WriteAutoStart(*env, Name, SpacedPath);
  raw = GetRaw();
  EXPECT_EQ(raw.Type, DWORD(REG_SZ));
  EXPECT_EQ(raw.Data, AsStored(u"\"" + SpacedPath + u"\""));
}

TEST_F(AutoStart, ReadsValuesMadeByOthers) {
  const struct {
    DWORD Type;
    std::u16string Stored;
    bool WithNul;
    std::u16string Read;
  } rows[] = {
      {REG_SZ, PlainPath, true, PlainPath},
      {REG_SZ, PlainPath, false, PlainPath}, // no terminating NUL
      {REG_SZ, u"", true, u""},              // an empty text is not registered
      {REG_SZ, u"\"" + SpacedPath + u"\"", true, SpacedPath},
      {REG_SZ, u"\"\"" + SpacedPath + u"\"\"", true, u"\"" + SpacedPath + u"\""}, // one pair
      {REG_SZ, PlainPath + u'\0' + u"ignored", true, PlainPath},                  // up to the NUL
      {REG_EXPAND_SZ, u"%ProgramFiles%\\Korvane\\quillgate.exe", true,
       u"%ProgramFiles%\\Korvane\\quillgate.exe"}, // not expanded
  };
  for (const auto &row : rows) {
    SCOPED_TRACE(Utf16ToUtf8(row.Stored));
    SetRawText(row.Type, row.Stored, row.WithNul);
    EXPECT_EQ(ReadAutoStart(*env, Name), row.Read);
  }
}

TEST_F(AutoStart, RegisteringAgainRewritesAnExpandableStringAsAPlainOne) {
  SetRawText(REG_EXPAND_SZ, u"%ProgramFiles%\\Korvane\\quillgate.exe");
  WriteAutoStart(*env, Name, ReadAutoStart(*env, Name));
  EXPECT_EQ(GetRaw().Type, DWORD(REG_SZ));
}

TEST_F(AutoStart, AValueOfAnotherTypeIsAnErrorUnlessItIsEmpty) {
  const DWORD number = 1;
  SetRaw(REG_DWORD, &number, sizeof number);
  EXPECT_EQ(ErrorOfRead(*env), u"Invalid data type for 'Korvane Quillgate test'");
  SetRaw(REG_BINARY, "\x01\x02", 2);
  EXPECT_EQ(ErrorOfRead(*env), u"Invalid data type for 'Korvane Quillgate test'");
  SetRaw(REG_BINARY, nullptr, 0); // no data: not registered
  EXPECT_EQ(ReadAutoStart(*env, Name), u"");
}

TEST_F(AutoStart, AMissingRunKeyIsNotRegisteredAndIsCreatedWhenRegistering) {
  HKEY run = nullptr;
  ASSERT_NE(RegOpenKeyExW(HKEY_CURRENT_USER, RunKey, 0, KEY_READ, &run), ERROR_SUCCESS);
  EXPECT_EQ(ReadAutoStart(*env, Name), u"");
  RemoveAutoStart(*env, Name);
  WriteAutoStart(*env, Name, PlainPath);
  EXPECT_EQ(ReadAutoStart(*env, Name), PlainPath);
}

#endif

} // namespace
