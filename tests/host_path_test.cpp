#include "host/host_path.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct Case {
  const char* drive;
  const char* host;
};

#ifndef _WIN32
const Case kCases[] = {
    // The base directory and what is in it.
    {"C:\\images\\survey\\a.zqd", "images/survey/a.zqd"},
    {"C:\\images\\a.zqd", "images/a.zqd"},
    {"C:\\images\\", "images/"},
    {"C:\\images", "images"},
    {"C:\\images\\deep\\er\\still\\b.zqd", "images/deep/er/still/b.zqd"},
    // Windows does not care about letter case or the kind of separator.
    {"c:\\images\\a.zqd", "images/a.zqd"},
    {"C:\\IMAGES\\Survey\\A.ZQD", "images/Survey/A.ZQD"},
    {"C:/images/a.zqd", "images/a.zqd"},
    {"C:\\images/mixed\\a.zqd", "images/mixed/a.zqd"},
    // Nothing is normalised away.
    {"C:\\images\\\\double", "images//double"},
    {"C:\\images\\..\\up.zqd", "images/../up.zqd"},
    {"C:\\images\\name with spaces.zqd", "images/name with spaces.zqd"},
    // Not the base directory: only the separators change.
    {"C:\\images2\\a.zqd", "C:/images2/a.zqd"},
    {"C:\\image\\a.zqd", "C:/image/a.zqd"},
    {"C:\\imagesa.zqd", "C:/imagesa.zqd"},
    {"D:\\images\\a.zqd", "D:/images/a.zqd"},
    {"C:images\\a.zqd", "C:images/a.zqd"},
    {"x\\C:\\images\\a.zqd", "x/C:/images/a.zqd"},
    {"C:\\imag", "C:/imag"},
    {"relative\\a.zqd", "relative/a.zqd"},
    {"a.zqd", "a.zqd"},
    {"\\", "/"},
    {"", ""},
};
#endif

TEST(HostPath, MapsDrivePaths) {
#ifdef _WIN32
  EXPECT_EQ(host_path("C:\\images\\survey\\a.zqd"), "C:\\images\\survey\\a.zqd");
#else
  for (const Case& c : kCases) EXPECT_EQ(host_path(c.drive), c.host) << "drive path: " << c.drive;
#endif
}

TEST(HostPath, LongPathsAreKeptWhole) {
  std::string drive = "C:\\images";
  std::string host = "images";
  for (int i = 0; i < 2000; ++i) {
    drive += "\\part" + std::to_string(i);
    host += "/part" + std::to_string(i);
  }
  drive += "\\a.zqd";
  host += "/a.zqd";
#ifdef _WIN32
  EXPECT_EQ(host_path(drive), drive);
#else
  EXPECT_EQ(host_path(drive), host);
#endif
}

TEST(HostPath, BytesOutsideAsciiPassThrough) {
  // UTF-8 names keep every byte; only the separators change.
  const std::string drive = "C:\\images\\m\xC3\xA4\xC3\xA4r\\\xE2\x82\xAC.zqd";
#ifdef _WIN32
  EXPECT_EQ(host_path(drive), drive);
#else
  EXPECT_EQ(host_path(drive), "images/m\xC3\xA4\xC3\xA4r/\xE2\x82\xAC.zqd");
#endif
}

}  // namespace
