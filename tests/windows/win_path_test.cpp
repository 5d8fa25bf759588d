// Paths for the wide file API, and system errors as errno values.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "host/windows/win_path.h"

namespace {

TEST(ApiPath, AbsoluteNormalisedAndPrefixed) {
  struct {
    const char* host;
    const wchar_t* api;
  } const cases[] = {
      {"C:\\images\\s\\a.zqd", L"\\\\?\\C:\\images\\s\\a.zqd"},
      {"C:/images/s/a.zqd", L"\\\\?\\C:\\images\\s\\a.zqd"},                // separators
      {"C:\\images\\s\\../t/./a.zqd", L"\\\\?\\C:\\images\\t\\a.zqd"},     // . and ..
      {"c:\\images\\con.zqd", L"\\\\?\\c:\\images\\con.zqd"},             // a file, not the console
      {"\\\\server\\share\\a.zqd", L"\\\\?\\UNC\\server\\share\\a.zqd"},  // a share
      {"\\\\?\\C:\\as\\is/a.zqd", L"\\\\?\\C:\\as\\is/a.zqd"},            // already literal
      {"C:\\images\\\xC3\xA9t\xC3\xA9\\\xC3\xBC.zqd", L"\\\\?\\C:\\images\\\u00e9t\u00e9\\\u00fc.zqd"},
      {"C:\\images\\\\s\\\\a.zqd", L"\\\\?\\C:\\images\\s\\a.zqd"},       // doubled separators
      {"C:\\..\\..\\a.zqd", L"\\\\?\\C:\\a.zqd"},                          // never above the root
      {"C:\\images\\s.\\a .zqd", L"\\\\?\\C:\\images\\s.\\a .zqd"},     // names literally
      {"images\\s\\a.zqd", L"\\\\?\\C:\\work\\images\\s\\a.zqd"},        // relative
      {"\\images\\a.zqd", L"\\\\?\\C:\\images\\a.zqd"},                    // from the drive's root
      {"D:name.zqd", L"D:name.zqd"},                                          // relative to drive D
  };
  CreateDirectoryW(L"C:\\work", nullptr);
  ASSERT_TRUE(SetCurrentDirectoryW(L"C:\\work"));
  for (const auto& c : cases) EXPECT_EQ(api_path(c.host), c.api) << c.host;
}

TEST(ApiPath, LongerThan260Characters) {
  std::string host = "C:\\images";
  std::wstring api = L"\\\\?\\C:\\images";
  for (int i = 0; i < 40; ++i) {
    host += "\\folder" + std::to_string(i);
    api += L"\\folder" + std::to_wstring(i);
  }
  ASSERT_GT(host.size(), 260u);
  EXPECT_EQ(api_path(host + "\\a.zqd"), api + L"\\a.zqd");
}

TEST(ApiPath, TextThatIsNotUtf8IsTakenInTheAnsiCodePage) {
  EXPECT_EQ(wide_from_utf8("caf\xE9"), std::wstring(L"caf") + wchar_t(0x00E9));  // code page 1252
  EXPECT_EQ(utf8_from_wide(L"\u00fc\U0001F600", 3), "\xC3\xBC\xF0\x9F\x98\x80");
}

TEST(Win32Errors, ReadAsOnPosix) {
  struct {
    DWORD error;
    int err;
  } const cases[] = {
      {ERROR_FILE_NOT_FOUND, ENOENT},  {ERROR_PATH_NOT_FOUND, ENOENT},   {ERROR_ACCESS_DENIED, EACCES},
      {ERROR_SHARING_VIOLATION, EACCES}, {ERROR_DISK_FULL, ENOSPC},      {ERROR_HANDLE_DISK_FULL, ENOSPC},
      {ERROR_DIRECTORY, ENOTDIR},      {ERROR_INVALID_NAME, EINVAL},     {ERROR_BROKEN_PIPE, EPIPE},
      {ERROR_FILENAME_EXCED_RANGE, ENAMETOOLONG}, {ERROR_GEN_FAILURE, EIO},
  };
  for (const auto& c : cases) EXPECT_EQ(errno_from_win32(c.error), c.err) << c.error;
  EXPECT_STREQ(std::strerror(errno_from_win32(ERROR_PATH_NOT_FOUND)), "No such file or directory");
  EXPECT_STREQ(std::strerror(errno_from_win32(ERROR_ACCESS_DENIED)), "Permission denied");
}

}  // namespace
