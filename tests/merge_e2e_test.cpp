// The tool end to end: exact console bytes, exact result bytes, exit status
// and what is left on disk, through the real executable.
#include <gtest/gtest.h>
#include <poll.h>

#include <string>
#include <vector>

#include "pty_child.h"
#include "tool_run.h"

namespace {

// The console's own texts, written out independently of the tool's code.
const std::string banner = crlf(
    "\n\t***********************************************************"
    "\n\t*                                                         *"
    "\n\t*                                                         *"
    "\n\t*                        TILVARO                          *"
    "\n\t*                                                         *"
    "\n\t*                                                         *"
    "\n\t*                                                         *"
    "\n\t*                                                         *"
    "\n\t*                                                         *"
    "\n\t*                                         tilvaro team    *"
    "\n\t*                                      (September 2012)   *"
    "\n\t*                                                         *"
    "\n\t***********************************************************");

const std::string folder_q = crlf("\n\n\tName of the File Folder located in the Directory C:\\images\\ : ");
const std::string count_q = crlf("\n\tnumber of files to paste ? ");
std::string name_q(int i) { return crlf("\n\tName of the .zqd File number " + std::to_string(i) + " (without extension .zqd) ? "); }
const std::string result_q = crlf("\n\tName of the resulting .zqd File (without extension .zqd) ? ");
const std::string treatment_line = crlf("\n\tTreatment");

std::string dialogue(int names) {
  std::string s = banner + folder_q + count_q;
  for (int i = 1; i <= names; ++i) s += name_q(i);
  return s + result_q + treatment_line;
}

std::string bounds(const std::string& minx, const std::string& miny, const std::string& maxx,
                   const std::string& maxy, const std::string& minz, const std::string& maxz) {
  return crlf("\n\n\tmin x = " + minx + " min y = " + miny + " \n\tmax x = " + maxx + " max y = " + maxy +
              " \n\tmin z = " + minz + " max z = " + maxz + " \n");
}

std::string file_line(int i, const std::string& path) {
  return crlf("\n\tFile " + std::to_string(i) + " Name : " + path + " ");
}

std::string header(const std::string& minx, const std::string& miny, const std::string& maxx,
                   const std::string& maxy, const std::string& minz, const std::string& maxz) {
  return "4\t" + minx + "\t" + miny + "\r\n5\t" + maxx + "\t" + maxy + "\r\n6\t" + minz + "\t" + maxz + "\r\n";
}

// The header and bounds of inputs whose extent is x 1 to 2, y 1 to 2, z 3.
const std::string header_123 = header("1.000000", "1.000000", "2.000000", "2.000000", "3.000000", "3.000000");
const std::string bounds_123 = bounds("1.000000", "1.000000", "2.000000", "2.000000", "3.000000", "3.000000");

// The warning for an input whose copy ended before its text did.
std::string cut_short(const std::string& file, int line, std::size_t bytes) {
  return "tilvaro: " + as_opened("images/s/" + file) + ": warning: the copy stopped at line " + std::to_string(line) +
         ", where a record cannot be read; " + std::to_string(bytes) + " bytes from there on were not copied\n";
}

const std::string start_header = header("4000000.000000", "4000000.000000", "0.000000", "0.000000",
                                        "100000.000000", "0.000000");
const std::string start_bounds = bounds("4000000.000000", "4000000.000000", "0.000000", "0.000000",
                                        "100000.000000", "0.000000");

TEST(Merge, CountZeroAndNegativeGiveTheStartingBounds) {
  for (const char* count : {"0", "-3", "+0", "-0"}) {
    work_dir w;
    w.mkdir("images/survey");
    const tool_result r = run_tool(w, std::string("survey\n") + count + "\nout\n");
    EXPECT_EQ(r.status, 0) << count;
    EXPECT_EQ(r.out, dialogue(0) + start_bounds) << count;
    EXPECT_EQ(w.get("images/survey/out.zqd"), start_header) << count;
    EXPECT_EQ(w.list("images/survey"), std::set<std::string>{"out.zqd"});
  }
}

TEST(Merge, CountAsAWordNamesTheResult) {
  work_dir w;
  w.mkdir("images/survey");
  const tool_result r = run_tool(w, "survey\nabc\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, dialogue(0) + start_bounds);
  EXPECT_EQ(w.get("images/survey/abc.zqd"), start_header);
}

TEST(Merge, TwoInputsWithOverlappingRanges) {
  work_dir w;
  w.put("images/survey/a.zqd", "4 10 100\n5 20 200\n6 1 2\n1 12 150\n2 13.5 151\n");
  w.put("images/survey/b.zqd", "4\t15\t50\r\n5\t30\t120\r\n6\t-5\t7\r\n3\t16\t60");  // no final line end
  const tool_result r = run_tool(w, "survey\n2\na\nb\nab\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, dialogue(2) +
                       bounds("10.000000", "50.000000", "30.000000", "200.000000", "-5.000000", "7.000000") +
                       file_line(1, "C:\\images\\survey\\a.zqd") + file_line(2, "C:\\images\\survey\\b.zqd"));
  EXPECT_EQ(w.get("images/survey/ab.zqd"),
            header("10.000000", "50.000000", "30.000000", "200.000000", "-5.000000", "7.000000") +
                "1\t12.000000\t150.000000\r\n2\t13.500000\t151.000000\r\n3\t16.000000\t60.000000\r\n");
}

TEST(Merge, BoundsAreClippedToTheirStartingValues) {
  work_dir w;
  w.put("images/s/a.zqd", "4 5000000 4500000.5\n5 -10 -20\n6 200000 -1\n7 1 1\n");
  w.put("images/s/b.zqd", "4 4000000 4000001\n5 -0.5 0\n6 100000 0\n");
  const tool_result r = run_tool(w, "s 2 a b r");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(w.get("images/s/r.zqd"), start_header + "7\t1.000000\t1.000000\r\n");
}

TEST(Merge, DataRecordsDoNotMoveTheBounds) {
  work_dir w;
  w.put("images/s/a.zqd", "4 10 10\n5 20 20\n6 1 2\n1 1e6 -1e6\n");
  const tool_result r = run_tool(w, "s 1 a r");
  EXPECT_EQ(w.get("images/s/r.zqd"), header("10.000000", "10.000000", "20.000000", "20.000000", "1.000000",
                                            "2.000000") +
                                         "1\t1000000.000000\t-1000000.000000\r\n");
}

TEST(Merge, CodesOfAnyLengthAreCarriedThrough) {
  work_dir w;
  const std::string too_long(4097, '9');
  w.put("images/s/a.zqd", "99999999999999999999999 10 10\n-4294967296 20 20\n+06 1 2\n4294967296 1 1\n"
                          "+0042 2 2\n-000 3 3\n-099999999999999999999 4 4\n" + too_long + " 5 5\n6 6 6\n");
  const tool_result r = run_tool(w, "s 1 a r");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(w.get("images/s/r.zqd"), header("10.000000", "10.000000", "20.000000", "20.000000", "1.000000",
                                            "2.000000") +
                                         "4294967296\t1.000000\t1.000000\r\n42\t2.000000\t2.000000\r\n"
                                         "0\t3.000000\t3.000000\r\n-99999999999999999999\t4.000000\t4.000000\r\n");
  EXPECT_EQ(r.err, cut_short("a.zqd", 8, too_long.size() + 11));
}

TEST(Merge, HeaderOnlyInputAndCopyEndingAtAWord) {
  work_dir w;
  w.put("images/s/h.zqd", "4 1 1\r\n5 2 2\r\n6 3 3\r\n");
  w.put("images/s/w.zqd", "4 1 1\n5 2 2\n6 3 3\n1 1 1\n2 2 two\n3 3 3\n");
  w.put("images/s/x.zqd", "4 1 1\n5 2 2\n6 3 3\n9 9 9\x1A" "10 10 10\n");
  const tool_result r = run_tool(w, "s 4 h w h x r");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(w.get("images/s/r.zqd"), header_123 +
                                         "1\t1.000000\t1.000000\r\n9\t9.000000\t9.000000\r\n");
  EXPECT_EQ(r.err, cut_short("w.zqd", 5, 14));
}

// One warning for each input whose copy ends before its text does; none
// for an input that ends cleanly, with only white space after its last
// complete record.
TEST(Merge, CopyEndingEarlyIsWarnedOnceCleanEndsAreNot) {
  const std::string head = "4 1 1\n5 2 2\n6 3 3\n";
  const struct {
    const char* data;  // after the header
    int line;          // 0: no warning
    std::size_t bytes;
  } cases[] = {
      {"", 0, 0},
      {"1 1 1", 0, 0},
      {"1 1 1\r\n \t\r\n\n\f", 0, 0},
      {"1 1 1\n\x1A" "garbage", 0, 0},
      {"1 1 1\n2 2 two\n3 3 3\n", 5, 14},
      {"1 1 1\r\n7 1.5", 5, 5},  // the last record cut short
      {"1 1 1\n\n\n-", 7, 1},
      {"1 1 1\nword\x1A" "rest", 5, 4},
      {"1 1 1\n\n  x 2 2\r\n3 3 3\r\n", 6, 14},
  };
  for (const auto& c : cases) {
    work_dir w;
    w.put("images/s/a.zqd", head + c.data);
    const tool_result r = run_tool(w, "s 2 a a r");
    EXPECT_EQ(r.status, 0) << c.data;
    const std::string one = c.line ? cut_short("a.zqd", c.line, c.bytes) : "";
    EXPECT_EQ(r.err, one + one) << c.data;
  }
}

// Inputs of many reads are copied whole, each read ahead of the copy, and
// the warning's second reading counts the lines of all of them.
TEST(Merge, LargeInputsAreCopiedWholeAndWarnedAtTheRightLine) {
  const std::string head = "4 1 1\n5 2 2\n6 3 3\n";
  const int n = 150000;  // about 1.4 MB: many reads
  std::string data, copied;
  for (int i = 0; i < n; ++i) {
    data += std::to_string(i) + " 1.5 -2\n";
    copied += std::to_string(i) + "\t1.500000\t-2.000000\r\n";
  }
  work_dir w;
  w.put("images/s/a.zqd", head + data + "x 2 2\n");
  w.put("images/s/b.zqd", head + data);
  const tool_result r = run_tool(w, "s 2 a b r");
  EXPECT_EQ(r.status, 0);
  EXPECT_TRUE(w.get("images/s/r.zqd") ==
              header_123 + copied + copied);
  EXPECT_EQ(r.err, cut_short("a.zqd", 4 + n, 6));
}

TEST(Merge, ShortOrNaNHeadersContributeOnlyWhatTheyHold) {
  work_dir w;
  w.put("images/s/a.zqd", "4 -7 -8\n5 70 80\n6 -9 90\n");
  w.put("images/s/short.zqd", "4 -100");  // min x only; nothing else may leak from a
  w.put("images/s/empty.zqd", "");
  w.put("images/s/nan.zqd", "4 +NAN -NAN\n5 +NAN 81\n6 +NAN +INF\n");
  const tool_result r = run_tool(w, "s 4 a short empty nan r");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(w.get("images/s/r.zqd"),
            header("-100.000000", "-8.000000", "70.000000", "81.000000", "-9.000000", "+INF"));
}

TEST(Merge, AnswersAreTokens) {
  work_dir w;
  w.put("images/s/a.zqd", "4 1 1\n5 2 2\n6 3 3\n1 1 1\n");
  w.put("images/s/abc.zqd", "4 1 1\n5 2 2\n6 3 3\n2 2 2\n");
  // "3abc": the count is 3 and abc answers the first name; "a b" answers
  // two questions; empty lines answer nothing; CR bytes are removed.
  const tool_result r = run_tool(w, "\n\n s\r\n3abc\na a\n\n\t r\r\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, dialogue(3) + bounds_123 +
                       file_line(1, "C:\\images\\s\\abc.zqd") + file_line(2, "C:\\images\\s\\a.zqd") +
                       file_line(3, "C:\\images\\s\\a.zqd"));
  EXPECT_EQ(w.get("images/s/r.zqd"), header_123 +
                                         "2\t2.000000\t2.000000\r\n1\t1.000000\t1.000000\r\n1\t1.000000\t1.000000\r\n");
  EXPECT_EQ(r.err, "");  // a clean run says nothing on standard error
}

TEST(Merge, MissingThirdInputLeavesNothingBehind) {
  work_dir w;
  w.put("images/s/a.zqd", "4 1 1\n5 2 2\n6 3 3\n");
  w.put("images/s/r.zqd", "precious old result");
  const tool_result r = run_tool(w, "s 4 a a zz a r");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, dialogue(4) + crlf("\n\tFile C:\\images\\s\\zz.zqd unknown\n"));
  EXPECT_EQ(r.err, "tilvaro: " + as_opened("images/s/zz.zqd") + ": No such file or directory\n");
  EXPECT_EQ(w.get("images/s/r.zqd"), "precious old result");
  EXPECT_EQ(w.list("images/s"), (std::set<std::string>{"a.zqd", "r.zqd"}));
}

TEST(Merge, NameTypedWithItsExtensionIsMissing) {
  work_dir w;
  w.put("images/s/a.zqd", "4 1 1\n5 2 2\n6 3 3\n");
  const tool_result r = run_tool(w, "s 1 a.zqd r");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, dialogue(1) + crlf("\n\tFile C:\\images\\s\\a.zqd.zqd unknown\n"));
  EXPECT_FALSE(w.exists("images/s/r.zqd"));
}

TEST(Merge, ResultNamedLikeAnInputReadsWhatItHeld) {
  work_dir w;
  w.put("images/s/a.zqd", "4 1 1\n5 2 2\n6 3 3\n1 1 1\n");
  w.put("images/s/b.zqd", "4 0 0\n5 5 5\n6 0 9\n2 2 2\n");
  const tool_result r = run_tool(w, "s 3 a b a a");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(w.get("images/s/a.zqd"), header("0.000000", "0.000000", "5.000000", "5.000000", "0.000000", "9.000000") +
                                         "1\t1.000000\t1.000000\r\n2\t2.000000\t2.000000\r\n1\t1.000000\t1.000000\r\n");
  EXPECT_EQ(w.list("images/s"), (std::set<std::string>{"a.zqd", "b.zqd"}));
}

TEST(Merge, InputEndingBeforeANameCreatesNothing) {
  const std::string ended = crlf("\n\tNo answer: the input has ended\n");
  struct {
    const char* input;
    std::string console;
  } const cases[] = {
      {"", banner + folder_q + ended},
      {"  \n\n", banner + folder_q + ended},
      {"s\n", banner + folder_q + count_q + result_q + ended},
      {"s 2 a", banner + folder_q + count_q + name_q(1) + name_q(2) + ended},
      {"s 1 a\x1A r", banner + folder_q + count_q + name_q(1) + result_q + ended},
  };
  for (const auto& c : cases) {
    work_dir w;
    w.put("images/s/a.zqd", "4 1 1\n5 2 2\n6 3 3\n");
    const tool_result r = run_tool(w, c.input);
    EXPECT_EQ(r.status, 1) << c.input;
    EXPECT_EQ(r.out, c.console) << c.input;
    EXPECT_EQ(r.err, "tilvaro: standard input: ended before the answer\n") << c.input;
    EXPECT_EQ(w.list("images/s"), std::set<std::string>{"a.zqd"}) << c.input;
  }
}

TEST(Merge, CountOutOfRangeStopsTheDialogue) {
  for (const char* count : {"2147483648", "-2147483649", "99999999999999999999999"}) {
    work_dir w;
    w.mkdir("images/s");
    const tool_result r = run_tool(w, std::string("s ") + count + " r");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, banner + folder_q + count_q +
                         crlf("\n\tThe number of files is too large\n"));
    EXPECT_EQ(r.err, "tilvaro: standard input: the number of files is too large\n");
    EXPECT_TRUE(w.list("images/s").empty());
  }
}

TEST(Merge, ResultThatCannotBeCreated) {
  work_dir w;
  const tool_result r = run_tool(w, "nowhere 0 r");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, banner + folder_q + count_q + result_q +
                       crlf("\n\tFile C:\\images\\nowhere\\r.zqd cannot be created (No such file or directory)\n"));
  EXPECT_EQ(r.err, "tilvaro: " + as_opened("images/nowhere/r.zqd") + ": No such file or directory\n");
  EXPECT_FALSE(w.exists("images"));
}

TEST(Merge, LongNamesAndManyInputsAreNotTruncated) {
  work_dir w;
  const std::string folder(200, 'f');
  const std::string name(200, 'n');
  w.put("images/" + folder + "/" + name + ".zqd", "4 1 1\n5 2 2\n6 3 3\n7 7 7\n");
  std::string input = folder + "\n60\n";
  for (int i = 0; i < 60; ++i) input += name + "\n";
  const tool_result r = run_tool(w, input + "out\n");
  EXPECT_EQ(r.status, 0);
  std::string expected = header_123;
  for (int i = 0; i < 60; ++i) expected += "7\t7.000000\t7.000000\r\n";
  EXPECT_EQ(w.get("images/" + folder + "/out.zqd"), expected);
  EXPECT_NE(r.out.find(crlf("\n\tFile 60 Name : C:\\images\\" + folder + "\\" + name + ".zqd ")), std::string::npos);
}

// Names outside ASCII, typed as UTF-8: the files of exactly those names are
// read and written (on Windows through the wide API).
TEST(Merge, NamesOutsideAscii) {
  work_dir w;
  const std::string e = "\xC3\xA9", u = "\xC3\xBC";  // é, ü
  w.put("images/" + e + "t" + e + "/" + u + "ber.zqd", "4 1 1\n5 2 2\n6 3 3\n7 7 7\n");
  const tool_result r = run_tool(w, e + "t" + e + " 1 " + u + "ber r" + e + "sum" + e);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(w.get("images/" + e + "t" + e + "/r" + e + "sum" + e + ".zqd"),
            header_123 + "7\t7.000000\t7.000000\r\n");
  EXPECT_NE(r.out.find(file_line(1, "C:\\images\\" + e + "t" + e + "\\" + u + "ber.zqd")), std::string::npos);
  // The same names on the command line (on Windows, read from the wide one).
  const tool_result args = run_args(w, {"-o", "r" + e + ".zqd", "images/" + e + "t" + e + "/" + u + "ber.zqd"});
  EXPECT_EQ(args.status, 0) << args.err;
  EXPECT_EQ(w.get("r" + e + ".zqd"), w.get("images/" + e + "t" + e + "/r" + e + "sum" + e + ".zqd"));
}

// A read-only result: POSIX replaces it (the folder's permissions decide),
// Windows refuses to, and then nothing is touched.
TEST(Merge, ReadOnlyExistingResult) {
  work_dir w;
  w.put("images/s/a.zqd", "4 1 1\n5 2 2\n6 3 3\n");
  w.put("images/s/r.zqd", "precious old result");
  ::chmod(w.at("images/s/r.zqd").c_str(), 0444);
  const tool_result r = run_tool(w, "s 1 a r");
  if (under_wine()) {
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, banner + folder_q + count_q + name_q(1) + result_q +
                         crlf("\n\tFile C:\\images\\s\\r.zqd cannot be created (Permission denied)\n"));
    EXPECT_EQ(r.err, "tilvaro: " + as_opened("images/s/r.zqd") + ": Permission denied\n");
    EXPECT_EQ(w.get("images/s/r.zqd"), "precious old result");
  } else {
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(w.get("images/s/r.zqd"), header_123);
  }
  EXPECT_EQ(w.list("images/s"), (std::set<std::string>{"a.zqd", "r.zqd"}));
}

// Windows: a result held open without sharing (a virus scanner, an indexer)
// cannot be replaced at once; the replace is tried again for about two
// seconds. Released after half a second it succeeds; held for five, the run
// fails and leaves the old result as it was.
TEST(Merge, ResultHeldOpenByAnotherProgram) {
  if (!under_wine()) GTEST_SKIP() << "Windows only";
  for (const int hold_ms : {500, 5000}) {
    work_dir w;
    w.put("images/s/a.zqd", "4 1 1\n5 2 2\n6 3 3\n7 7 7\n");
    w.put("images/s/r.zqd", "precious old result");
    int out[2];
    ASSERT_EQ(::pipe(out), 0);
    const pid_t holder = ::fork();
    if (holder == 0) {
      detach_from_terminal();
      ::dup2(out[1], 1);
      const std::string run = windows_build("wine-run"), hold = windows_build("tests/hold_file.exe");
      ::execl(run.c_str(), run.c_str(), hold.c_str(), "C:\\images\\s\\r.zqd", std::to_string(hold_ms).c_str(),
              static_cast<char*>(nullptr));
      _exit(127);
    }
    ::close(out[1]);
    char said[5] = {};
    pollfd p{out[0], POLLIN, 0};
    ASSERT_GT(::poll(&p, 1, kToolBoundMs), 0) << "the holder did not start";
    ASSERT_EQ(::read(out[0], said, 4), 4);
    ASSERT_EQ(std::string(said, 4), "held");
    const tool_result r = run_tool(w, "s 1 a r");
    const int held = wait_bounded(holder);
    ::close(out[0]);
    EXPECT_TRUE(WIFEXITED(held) && WEXITSTATUS(held) == 0);
    if (hold_ms < 2000) {
      EXPECT_EQ(r.status, 0) << r.err;
      EXPECT_EQ(w.get("images/s/r.zqd"),
                header_123 + "7\t7.000000\t7.000000\r\n");
    } else {
      EXPECT_EQ(r.status, 1);
      EXPECT_EQ(r.out, dialogue(1) + bounds_123 +
                           file_line(1, "C:\\images\\s\\a.zqd") +
                           crlf("\n\tFile C:\\images\\s\\r.zqd cannot be written (Permission denied)\n"));
      EXPECT_EQ(w.get("images/s/r.zqd"), "precious old result");
    }
    EXPECT_EQ(w.list("images/s"), (std::set<std::string>{"a.zqd", "r.zqd"}));
  }
}

// The command line's form: the same merge with paths as given, standard
// output from "Treatment" on, no questions, no key wait.
TEST(MergeCommandLine, SameResultAsTheDialogue) {
  work_dir w;
  w.put("images/s/a.zqd", "4 10 100\n5 20 200\n6 1 2\n1 12 150\n2 13.5 151 x\n");
  w.put("images/s/b.zqd", "4\t15\t50\r\n5\t30\t120\r\n6\t-5\t7\r\n3\t16\t60");
  const tool_result dialogue_run = run_tool(w, "s 3 a b a r");
  ASSERT_EQ(dialogue_run.status, 0);
  const tool_result r = run_args(w, {"images/s/a.zqd", "-o", "out.zqd", "images/s/b.zqd", "./images/s/a.zqd"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, treatment_line +
                       bounds("10.000000", "50.000000", "30.000000", "200.000000", "-5.000000", "7.000000") +
                       file_line(1, "images/s/a.zqd") + file_line(2, "images/s/b.zqd") +
                       file_line(3, "./images/s/a.zqd"));
  EXPECT_EQ(w.get("out.zqd"), w.get("images/s/r.zqd"));
  // To standard output: the result's bytes and nothing else.
  const tool_result piped = run_args(w, {"-o-", "images/s/a.zqd", "images/s/b.zqd", "images/s/a.zqd"});
  EXPECT_EQ(piped.status, 0);
  EXPECT_EQ(piped.out, w.get("images/s/r.zqd"));
}

TEST(MergeCommandLine, ResultNamedLikeAnInputReadsWhatItHeld) {
  work_dir w;
  w.put("a.zqd", "4 1 1\n5 2 2\n6 3 3\n1 1 1\n");
  w.put("b.zqd", "4 0 0\n5 5 5\n6 0 9\n2 2 2\n");
  const tool_result r = run_args(w, {"--output=a.zqd", "a.zqd", "b.zqd", "a.zqd"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(w.get("a.zqd"), header("0.000000", "0.000000", "5.000000", "5.000000", "0.000000", "9.000000") +
                                "1\t1.000000\t1.000000\r\n2\t2.000000\t2.000000\r\n1\t1.000000\t1.000000\r\n");
}

TEST(MergeCommandLine, FailuresLeaveEverythingAsItWas) {
  work_dir w;
  w.put("a.zqd", "4 1 1\n5 2 2\n6 3 3\n");
  w.put("r.zqd", "precious old result");
  const std::string reason = "No such file or directory";
  tool_result r = run_args(w, {"-o", "r.zqd", "a.zqd", "gone.zqd"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, treatment_line + crlf("\n\tFile gone.zqd unknown\n"));
  EXPECT_EQ(r.err, "tilvaro: gone.zqd: " + reason + "\n");
  r = run_args(w, {"-o", "nowhere/r.zqd", "a.zqd"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, crlf("\n\tFile nowhere/r.zqd cannot be created (" + reason + ")\n"));
  EXPECT_EQ(r.err, "tilvaro: nowhere/r.zqd: " + reason + "\n");
  EXPECT_EQ(w.get("r.zqd"), "precious old result");
  EXPECT_EQ(w.list(""), (std::set<std::string>{"a.zqd", "r.zqd"}));
}

// On a terminal, standard error shows the progress line and erases it;
// -q keeps it quiet. Standard output goes to a file here, so the terminal
// sees standard error alone.
TEST(MergeCommandLine, ProgressLineOnATerminal) {
  work_dir w;
  w.put("a.zqd", "4 1 1\n5 2 2\n6 3 3\n" + std::string(20000, ' ') + "7 7 7\n");
  for (const bool quiet : {false, true}) {
    pty_child tool([&] {
      const int out = ::open(w.at("stdout").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (out < 0 || ::dup2(out, 1) < 0 || ::chdir(w.path().c_str()) != 0) return 91;
      ::execl(TILVARO_EXE, "tilvaro", "-o", "r.zqd", "a.zqd", "a.zqd", quiet ? "-q" : "--", nullptr);
      return 92;
    });
    ASSERT_TRUE(tool.ok());
    const int status = tool.finish();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    const std::string seen = tool.read_output(kQuietMs);
    if (quiet) {
      EXPECT_EQ(seen, "");
    } else {
      const std::string first = "\r0 B of 40.0 kB (0%)";
      ASSERT_EQ(seen.substr(0, first.size()), first) << seen;
      EXPECT_EQ(seen.substr(seen.size() - 1), "\r") << seen;  // erased: the cursor back at the start
      EXPECT_EQ(seen.substr(seen.rfind('\r', seen.size() - 2)).find_first_not_of(" \r"), std::string::npos) << seen;
    }
    EXPECT_EQ(w.get("r.zqd"), header_123 +
                                  "7\t7.000000\t7.000000\r\n7\t7.000000\t7.000000\r\n");
  }
}

}  // namespace
