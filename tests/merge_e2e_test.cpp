// The tool end to end: exact console bytes, exact result bytes, exit status
// and what is left on disk, through the real executable.
#include <gtest/gtest.h>
#include <limits.h>
#include <poll.h>

#include <algorithm>
#include <csignal>
#include <functional>
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

// The warning for an input with bare CR line ends.
std::string bare_cr(const std::string& file, int line) {
  return "tilvaro: " + as_opened("images/s/" + file) + ": warning: bare CR line ends at line " +
         std::to_string(line) + ": the numbers on both sides of each are read as one\n";
}

// The warning for an input that is the result's own file.
const std::string result_too = ": warning: this input is the result's file; what it held before this run is merged\n";

// The warning for an input without a complete header record.
std::string no_header(const std::string& file) {
  return "tilvaro: " + as_opened("images/s/" + file) +
         ": warning: holds no complete header record; none of its records are copied\n";
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
    // A file of the result's name is never replaced by a merge of nothing.
    w.put("images/survey/north.zqd", "4 1 1\n5 2 2\n6 3 3\n1 1 1\n");
    const tool_result kept = run_tool(w, std::string("survey\n") + count + "\nnorth\n");
    EXPECT_EQ(kept.status, 1) << count;
    EXPECT_EQ(kept.out, dialogue(0).substr(0, dialogue(0).size() - treatment_line.size()) +
                            crlf("\n\tFile C:\\images\\survey\\north.zqd not replaced: there are no files to paste\n"));
    EXPECT_EQ(kept.err, "tilvaro: " + as_opened("images/survey/north.zqd") +
                            ": not replaced: there are no files to paste\n");
    EXPECT_EQ(w.get("images/survey/north.zqd"), "4 1 1\n5 2 2\n6 3 3\n1 1 1\n") << count;
    EXPECT_EQ(w.list("images/survey"), (std::set<std::string>{"north.zqd", "out.zqd"}));
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
// complete record. Before it, one for bare CR line ends among the bytes
// read (not those after the copy stopped); CR runs before an LF, and a CR
// that ends the text, are line ends.
TEST(Merge, CopyEndingEarlyIsWarnedOnceCleanEndsAreNot) {
  const std::string head = "4 1 1\n5 2 2\n6 3 3\n";
  const struct {
    const char* data;  // after the header
    int line;          // 0: no warning
    std::size_t bytes;
    int cr_line;  // of the first bare CR; 0: no warning
  } cases[] = {
      {"", 0, 0, 0},
      {"1 1 1", 0, 0, 0},
      {"1 1 1\r\n \t\r\n\n\f", 0, 0, 0},
      {"1 1 1\n\x1A" "garbage", 0, 0, 0},
      {"1 1 1\n2 2 two\n3 3 3\n", 5, 14, 0},
      {"1 1 1\r\n7 1.5", 5, 5, 0},  // the last record cut short
      {"1 1 1\n\n\n-", 7, 1, 0},
      {"1 1 1\nword\x1A" "rest", 5, 9, 0},  // counted from the file's size, not read to the 0x1A
      {"1 1 1\n\n  x 2 2\r\n3 3 3\r\n", 6, 14, 0},
      {"1 1 1\r\r\n2 2 2\r\r\r\n3 3 3\r", 0, 0, 0},
      {"1 1 1\r2 2 2\r3 3 3\r", 4, 2, 4},  // 1 1 12 / 2 23 3 / 3, all on line 4
      {"1 1 1\n2 2.5\r 2\n", 0, 0, 5},  // nothing joined, but not a line end either
      {"1 1 1\n2 2 two\r3 3 3\n", 5, 14, 0},  // after the copy stopped
      {"1 1 1\r\x1A" "2 2 2", 0, 0, 0},
  };
  for (const auto& c : cases) {
    work_dir w;
    w.put("images/s/a.zqd", head + c.data);
    const tool_result r = run_tool(w, "s 2 a a r");
    EXPECT_EQ(r.status, 0) << c.data;
    const std::string one = (c.cr_line ? bare_cr("a.zqd", c.cr_line) : "") +
                            (c.line ? cut_short("a.zqd", c.line, c.bytes) : "");
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
  // A bare CR that joins nothing, near the end: found on the reading thread.
  const std::size_t late = data.size() - 2;
  w.put("images/s/b.zqd", head + data.substr(0, late) + "\r" + data.substr(late));
  const tool_result r = run_tool(w, "s 2 a b r");
  EXPECT_EQ(r.status, 0);
  EXPECT_TRUE(w.get("images/s/r.zqd") ==
              header_123 + copied + copied);
  EXPECT_EQ(r.err, cut_short("a.zqd", 4 + n, 6) + bare_cr("b.zqd", 3 + n));
}

TEST(Merge, ShortOrNaNHeadersContributeOnlyWhatTheyHold) {
  work_dir w;
  w.put("images/s/a.zqd", "4 -7 -8\n5 70 80\n6 -9 90\n");
  w.put("images/s/short.zqd", "4 -100");  // min x only; nothing else may leak from a
  w.put("images/s/empty.zqd", "");
  w.put("images/s/nan.zqd", "4 +NAN -NAN\n5 +NAN 81\n6 +NAN +INF\n");
  const tool_result r = run_tool(w, "s 4 a short empty nan r");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, no_header("short.zqd") + no_header("empty.zqd"));
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

// A byte-order mark at the very start of an input or of the answers is not
// there; anywhere else it is text like any other.
TEST(Merge, ByteOrderMarkAtTheStart) {
  const std::string bom = "\xEF\xBB\xBF";
  work_dir w;
  w.put("images/s/a.zqd", bom + "4 1 1\r\n5 2 2\r\n6 3 3\r\n1 1 1\r\n");
  w.put("images/s/b.zqd", "4 1 1\n5 2 2\n6 3 3\n" + bom + "2 2 2\n");
  const tool_result r = run_tool(w, bom + "s 2 a b r");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, dialogue(2) + bounds_123 + file_line(1, "C:\\images\\s\\a.zqd") +
                       file_line(2, "C:\\images\\s\\b.zqd"));
  EXPECT_EQ(w.get("images/s/r.zqd"), header_123 + "1\t1.000000\t1.000000\r\n");
  EXPECT_EQ(r.err, cut_short("b.zqd", 4, 9));
}

// Names that Windows' path rules would change are refused there, before
// anything is made, as results and as inputs; elsewhere they are ordinary.
TEST(Merge, NamesWindowsWouldChange) {
  const std::string device = "a reserved device name on Windows";
  const struct {
    const char* name;
    std::string why;
  } cases[] = {
      {"aux.zqd", device},
      {"nul", device},
      {"CON", device},
      {"Com1.zqd", device},
      {"lpt9.txt.zqd", device},
      {"nul .zqd", device},
      {"res.zqd ", "a name ending in a blank, which Windows would drop"},
      {"res2.zqd.", "a name ending in a dot, which Windows would drop"},
      {"ab:c.zqd", "a name with a colon, which Windows takes for a stream of another file"},
  };
  for (const auto& c : cases) {
    work_dir w;
    w.put("a.zqd", "4 1 1\n5 2 2\n6 3 3\n");
    const tool_result as_result = run_args(w, {"-o", c.name, "a.zqd"});
    EXPECT_EQ(as_result.status, under_wine() ? 1 : 0) << c.name;
    EXPECT_EQ(w.exists(c.name), !under_wine()) << c.name;
    w.put(c.name, "4 1 1\n5 2 2\n6 3 3\n");
    const tool_result as_input = run_args(w, {"-o", "r.zqd", c.name});
    EXPECT_EQ(as_input.status, under_wine() ? 1 : 0) << c.name;
    EXPECT_EQ(w.exists("r.zqd"), !under_wine()) << c.name;
    if (under_wine()) {
      EXPECT_EQ(as_result.err, "tilvaro: " + std::string(c.name) + ": " + c.why + "\n");
      EXPECT_EQ(as_input.err, "tilvaro: " + std::string(c.name) + ": " + c.why + "\n");
    }
  }
  // In the dialogue, a result that cannot be created.
  work_dir w;
  w.put("images/s/a.zqd", "4 1 1\n5 2 2\n6 3 3\n");
  const tool_result r = run_tool(w, "s 1 a aux");
  EXPECT_EQ(r.status, under_wine() ? 1 : 0);
  if (under_wine()) {
    EXPECT_EQ(r.out, dialogue(1).substr(0, dialogue(1).size() - treatment_line.size()) +
                         crlf("\n\tFile C:\\images\\s\\aux.zqd cannot be created (" + device + ")\n"));
    EXPECT_EQ(w.list("images/s"), std::set<std::string>{"a.zqd"});
  }
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
  EXPECT_EQ(r.err, "tilvaro: " + as_opened("images/s/a.zqd") + result_too);  // once, though named twice
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

// An answer longer than any path names no file: the dialogue stops there
// and creates nothing. An answer at that length is taken, and names no
// file that can be opened.
TEST(Merge, AnswerLongerThanAnyPathStopsTheDialogue) {
  const std::size_t longest = under_wine() ? 32767 * 3 : PATH_MAX;
  const std::string at_limit(longest, 'n'), past = at_limit + "n";
  const std::string refused = crlf("\n\tThe answer is longer than any path\n");
  const struct {
    std::string input;
    std::string console;
  } cases[] = {
      {past + " 1 a r", banner + folder_q + refused},
      {"s 2 a " + past + " r", banner + folder_q + count_q + name_q(1) + name_q(2) + refused},
      {"s 1 a\n" + past + "\n", banner + folder_q + count_q + name_q(1) + result_q + refused},
  };
  for (const auto& c : cases) {
    work_dir w;
    w.put("images/s/a.zqd", "4 1 1\n5 2 2\n6 3 3\n");
    const tool_result r = run_tool(w, c.input);
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.out == c.console);
    EXPECT_EQ(r.err, "tilvaro: standard input: an answer is longer than any path\n");
    EXPECT_EQ(w.list("images/s"), std::set<std::string>{"a.zqd"});
  }
  work_dir w;
  w.put("images/s/a.zqd", "4 1 1\n5 2 2\n6 3 3\n");
  const tool_result r = run_tool(w, "s 2 a " + at_limit + " r");
  EXPECT_EQ(r.status, 1);
  const std::string unknown = crlf("\n\tFile C:\\images\\s\\" + at_limit + ".zqd unknown\n");
  EXPECT_TRUE(r.out.size() > unknown.size() && r.out.substr(r.out.size() - unknown.size()) == unknown);
  EXPECT_EQ(r.err.find("longer than any path"), std::string::npos);
  EXPECT_EQ(w.list("images/s"), std::set<std::string>{"a.zqd"});
}

TEST(Merge, ResultThatCannotBeCreated) {
  work_dir w;
  const tool_result r = run_tool(w, "nowhere 0 r");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, banner + folder_q + count_q + result_q +
                       crlf("\n\tFolder C:\\images\\nowhere\\ does not exist\n"));
  EXPECT_EQ(r.err, "tilvaro: " + as_opened("images/nowhere/") + ": no such folder\n");
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
  EXPECT_EQ(r.err, "tilvaro: a.zqd" + result_too);
  EXPECT_EQ(w.get("a.zqd"), header("0.000000", "0.000000", "5.000000", "5.000000", "0.000000", "9.000000") +
                                "1\t1.000000\t1.000000\r\n2\t2.000000\t2.000000\r\n1\t1.000000\t1.000000\r\n");
}

// --tight-bounds: the extent is the inputs' own; a bound that no input
// gives (no input, a header cut short, NaN) keeps its starting value.
TEST(MergeCommandLine, TightBoundsAreTheInputsOwn) {
  work_dir w;
  w.put("a.zqd", "4 5000000 4500000.5\n5 -10 -20\n6 200000 -1\n7 1 1\n");
  w.put("b.zqd", "4 4000000 4000001\n5 -0.5 0\n6 100000 0\n");
  w.put("nan.zqd", "4 +NAN 5\n5 +NAN -NAN\n6 1 2\n");
  w.put("short.zqd", "4 -100");
  w.put("none.txt", "");
  const struct {
    std::vector<std::string> inputs;
    std::vector<std::string> extent;  // min x, min y, max x, max y, min z, max z
  } cases[] = {
      {{"a.zqd", "b.zqd"}, {"4000000.000000", "4000001.000000", "-0.500000", "0.000000", "100000.000000", "0.000000"}},
      {{"nan.zqd", "a.zqd"}, {"5000000.000000", "5.000000", "-10.000000", "-20.000000", "1.000000", "2.000000"}},
      {{"short.zqd"}, {"-100.000000", "4000000.000000", "0.000000", "0.000000", "100000.000000", "0.000000"}},
      {{"-T", "none.txt"}, {"4000000.000000", "4000000.000000", "0.000000", "0.000000", "100000.000000", "0.000000"}},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args = {"--tight-bounds", "-o", "r.zqd"};
    args.insert(args.end(), c.inputs.begin(), c.inputs.end());
    const tool_result r = run_args(w, args);
    const auto& e = c.extent;
    EXPECT_EQ(r.status, 0) << c.inputs[0];
    EXPECT_EQ(w.get("r.zqd").substr(0, header(e[0], e[1], e[2], e[3], e[4], e[5]).size()),
              header(e[0], e[1], e[2], e[3], e[4], e[5])) << c.inputs[0];
    EXPECT_NE(r.out.find(bounds(e[0], e[1], e[2], e[3], e[4], e[5])), std::string::npos) << r.out;
    std::remove(w.at("r.zqd").c_str());
  }
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
  EXPECT_EQ(r.out, crlf("\n\tFolder nowhere/ does not exist\n"));
  EXPECT_EQ(r.err, "tilvaro: nowhere/: no such folder\n");
  EXPECT_EQ(w.get("r.zqd"), "precious old result");
  EXPECT_EQ(w.list(""), (std::set<std::string>{"a.zqd", "r.zqd"}));
}

// Patterns that the tool expands itself, against one folder of names: the
// matches in code-point order, never the result, never a folder; upper and
// lower case and dot files as the host has them.
TEST(MergeCommandLine, PatternsAreExpandedInNameOrder) {
  const bool win = under_wine();
  work_dir w;
  std::vector<std::string> names = {"a.zqd", "B.zqd", ".hidden.zqd", "with blank.zqd", "\xC3\xA9.zqd"};
  if (!win) names.push_back("a*.zqd");  // '*' is no character of a Windows name
  for (std::size_t i = 0; i < names.size(); ++i) w.put("t/" + names[i], "4 1 1\n5 2 2\n6 3 3\n" + std::to_string(i) + " 0 0\n");
  w.mkdir("t/dir.zqd");
  w.put("t/all.zqd", "4 1 1\n5 2 2\n6 3 3\n99 0 0\n");  // the result, an earlier run's
  const auto records = [&](const std::vector<std::string>& matched) {
    std::string data;
    for (const std::string& m : matched) {
      const std::size_t i = std::find(names.begin(), names.end(), m) - names.begin();
      data += std::to_string(i) + "\t0.000000\t0.000000\r\n";
    }
    return header_123 + data;
  };
  const std::string left_out = "tilvaro: t/all.zqd: the result itself is left out of the files that t/*.zqd matches\n";
  const struct {
    std::vector<std::string> args;
    int status;
    std::vector<std::string> matched;  // when status is 0
    std::string err;
  } cases[] = {
      {{"t/*.zqd"}, 0,
       win ? std::vector<std::string>{".hidden.zqd", "a.zqd", "B.zqd", "with blank.zqd", "\xC3\xA9.zqd"}
           : std::vector<std::string>{"B.zqd", "a*.zqd", "a.zqd", "with blank.zqd", "\xC3\xA9.zqd"},
       left_out},
      {{"t/?.zqd"}, 0,  // Windows orders ignoring case, as dir and Explorer show
       win ? std::vector<std::string>{"a.zqd", "B.zqd", "\xC3\xA9.zqd"}
           : std::vector<std::string>{"B.zqd", "a.zqd", "\xC3\xA9.zqd"},
       ""},
      {{"t/.*", "t/with blank.zqd"}, 0, {".hidden.zqd", "with blank.zqd"}, ""},
      {{"t/b*"}, win ? 0 : 1, {"B.zqd"}, win ? "" : "tilvaro: t/b*: no file matches\n"},
      {{"t/a.zqd", "t/x*"}, 1, {}, "tilvaro: t/x*: no file matches\n"},
      {{"t/d*/a.zqd"}, 2, {},
       "tilvaro: t/d*/a.zqd: no such file, and wildcards in a folder's name are not expanded\n"
       "Try 'tilvaro --help' for more information.\n"},
  };
  for (const auto& c : cases) {
    for (int run = 0; run < (c.status == 0 ? 2 : 1); ++run) {  // the same twice: the result is never its own input
      std::vector<std::string> args = {"-o", "t/all.zqd"};
      args.insert(args.end(), c.args.begin(), c.args.end());
      const std::string before = w.get("t/all.zqd");
      const tool_result r = run_args(w, args);
      const std::string shown = ::testing::PrintToString(c.args);
      EXPECT_EQ(r.status, c.status) << shown;
      EXPECT_EQ(r.err, c.err) << shown;
      EXPECT_EQ(w.get("t/all.zqd"), c.status == 0 ? records(c.matched) : before) << shown;
      if (c.status == 0) {
        EXPECT_NE(r.out.find(file_line(1, "t/" + c.matched[0])), std::string::npos) << r.out;
      }
    }
  }
  if (!win) {  // a name holding '*' that exists is that file, not a pattern
    EXPECT_EQ(run_args(w, {"-o", "r.zqd", "t/a*.zqd"}).status, 0);
    EXPECT_EQ(w.get("r.zqd"), records({"a*.zqd"}));
  }
}

// Inputs that can be read only once (a pipe as "-", /dev/stdin or /dev/fd/N,
// a FIFO, standard input that is a file) give the same result, console and
// diagnostics as the same file named directly: their header is read once
// and the copy goes on from where it ended, whatever was buffered.
TEST(MergeCommandLine, InputsReadOnlyOnce) {
  if (under_wine()) GTEST_SKIP() << "pipes and FIFOs of the tool built here";
  work_dir w;
  std::string n = "4 5 50\n5 15 150\n6 1 9\n";
  for (int i = 0; i < 300; ++i) n += std::to_string(i) + " 601569.20" + std::to_string(i % 10) + " 24018.5\n";
  w.put("n.zqd", n);
  w.put("m.zqd", "4 1 10\n5 10 100\n6 0 5\n7 7 7\n");
  const tool_result direct = run_args(w, {"-o", "ref.zqd", "n.zqd", "m.zqd"});
  ASSERT_EQ(direct.status, 0) << direct.err;
  const std::string expected = w.get("ref.zqd");
  const auto feed = [&](int fd) { write_all(fd, n); };
  const struct {
    const char* name;  // as the tool is given it
    std::function<void()> setup;
    bool fifo;
  } cases[] = {
      {"-", piped_into(0, feed), false},
      {"/dev/stdin", piped_into(0, feed), false},
      {"/dev/fd/5", piped_into(5, feed), false},  // as a shell's process substitution hands it
      {"-", [&] { ::dup2(::open(w.at("n.zqd").c_str(), O_RDONLY), 0); }, false},
      {"p.zqd", {}, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ::unlink(w.at("p.zqd").c_str());
    if (c.fifo) {
      ASSERT_EQ(::mkfifo(w.at("p.zqd").c_str(), 0644), 0);
    }
    const pid_t pid = start_tool(w, "", c.setup, TILVARO_EXE, {"-o", "r.zqd", c.name, "m.zqd"});
    if (c.fifo) {
      const int fd = open_fifo_for_writing(w.at("p.zqd"));
      write_all(fd, n);
      ::close(fd);
    }
    const tool_result r = finish_tool(w, pid);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, treatment_line + bounds("1.000000", "10.000000", "15.000000", "150.000000", "0.000000",
                                             "9.000000") + file_line(1, c.name) + file_line(2, "m.zqd"));
    EXPECT_TRUE(w.get("r.zqd") == expected);
  }
  // A record that cannot be read, then an endless rest: the run ends there,
  // and says that the rest was not read.
  const auto endless = [&](int fd) {
    write_all(fd, n + "word\n");
    const std::string zeros(1 << 16, '\0');
    for (;;) write_all(fd, zeros);
  };
  const tool_result r = finish_tool(w, start_tool(w, "", piped_into(0, endless), TILVARO_EXE,
                                                  {"-o", "r.zqd", "-", "m.zqd"}));
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "tilvaro: -: warning: the copy stopped at byte " + std::to_string(n.size()) +
                       ", where a record cannot be read; the rest was not read\n");
  EXPECT_TRUE(w.get("r.zqd") == expected);
}

// Lists of paths, one a line, LF or CR LF, empty lines skipped, from a file
// or from standard input; many more inputs than a command line holds.
TEST(MergeCommandLine, InputsFromLists) {
  work_dir w;
  const int n = 1500;
  std::string list, expected;
  w.mkdir("m");
  for (int i = 0; i < n; ++i) {
    const std::string name = "m/f" + std::to_string(i) + ".zqd";
    std::ofstream(w.at(name), std::ios::binary) << "4 1 1\n5 2 2\n6 3 3\n" << i << " 1 1\n";
    list += name + (i % 3 == 0 ? "\r\n" : i % 3 == 1 ? "\n\n" : "\r\n\r\n");
    expected += std::to_string(i) + "\t1.000000\t1.000000\r\n";
  }
  w.put("list.txt", "\xEF\xBB\xBF" + list.substr(0, list.size() - 2));  // a byte-order mark, no last line end
  tool_result r = run_args(w, {"-o", "r.zqd", "-T", "list.txt"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(w.get("r.zqd") == header_123 + expected);
  // From standard input, among other inputs.
  r = finish_tool(w, start_tool(w, "m/f2.zqd\nm/f1.zqd\n", {}, TILVARO_EXE,
                                {"-o", "s.zqd", "m/f0.zqd", "--files-from=-", "m/f0.zqd"}));
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(w.get("s.zqd"), header_123 + "0\t1.000000\t1.000000\r\n2\t1.000000\t1.000000\r\n"
                                         "1\t1.000000\t1.000000\r\n0\t1.000000\t1.000000\r\n");
  // Lists as Windows writes them: UTF-16 with a byte-order mark (little-
  // or big-endian), lines in double quotes; the same inputs as in UTF-8.
  w.put("m/\xC3\xA9.zqd", "4 1 1\n5 2 2\n6 3 3\n9 1 1\n");
  const auto utf16 = [](const std::string& ascii_or_e_acute, bool little) {
    std::string out = little ? "\xFF\xFE" : "\xFE\xFF";
    for (std::size_t i = 0; i < ascii_or_e_acute.size(); ++i) {
      const bool e = ascii_or_e_acute.compare(i, 2, "\xC3\xA9") == 0;
      const char c = e ? '\xE9' : ascii_or_e_acute[i];
      i += e;
      out += little ? std::string{c, '\0'} : std::string{'\0', c};
    }
    return out;
  };
  const std::string names = "m/f2.zqd\r\n\"m/\xC3\xA9.zqd\"\r\n\r\n\"m/f1.zqd\"";
  for (const std::string& text : {utf16(names, true), utf16(names, false), names}) {
    w.put("win.txt", text);
    r = run_args(w, {"-o", "q.zqd", "-T", "win.txt"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(w.get("q.zqd"), header_123 + "2\t1.000000\t1.000000\r\n9\t1.000000\t1.000000\r\n"
                                           "1\t1.000000\t1.000000\r\n");
  }
  // Lists that end the run with nothing made: one that cannot be read, one
  // that names a file that is not there (its name shown on one line in the
  // diagnostic, as typed on the console), and lines up to the host's
  // longest path: one at that length is a path (too long for a file here),
  // one past it is refused at once.
  const std::size_t longest = under_wine() ? 32767 * 3 : PATH_MAX;
  const std::string at_limit(longest, 'x');
  const struct {
    std::string list;  // "" none: nolist.txt is not there
    std::string text;
    int status;
    std::string err, out;  // err "": any; out: what the console ends with
  } refused[] = {
      {"", "", 1, "tilvaro: nolist.txt: No such file or directory\n", ""},
      // Windows takes no control character in a name at all.
      {"esc.txt", "m/f0.zqd\na\x1b[2Jb.zqd\n", 1,
       std::string("tilvaro: a\\x1b[2Jb.zqd: ") + (under_wine() ? "Invalid argument\n" : "No such file or directory\n"),
       crlf("\n\tFile a\x1b[2Jb.zqd unknown\n")},
      {"at.txt", "m/f0.zqd\r\n" + at_limit + "\r\n", 1, "", crlf("\n\tFile " + at_limit + " unknown\n")},
      {"past.txt", "m/f0.zqd\n\n" + at_limit + "y\nm/f1.zqd\n", 2,
       "tilvaro: past.txt: line 3 is longer than any path\n", ""},
      // cp850 (\x82 is e-acute there), and UTF-16 cut short or with a lone
      // surrogate: no byte of the line reaches the console.
      {"cp.txt", "m/f0.zqd\r\nm/f\x82.zqd\r\n", 2,
       "tilvaro: cp.txt: line 2 is not UTF-8 text (save it as UTF-8 or UTF-16)\n", ""},
      {"odd.txt", utf16("m/f0.zqd\n", true) + "m", 2, "tilvaro: odd.txt: line 2 is not UTF-16 text\n", ""},
      {"lone.txt", utf16("m/f0.zqd\n", false) + "\xD8\x3Dm", 2, "tilvaro: lone.txt: line 2 is not UTF-16 text\n",
       ""},
  };
  for (const auto& c : refused) {
    if (!c.list.empty()) w.put(c.list, c.text);
    r = run_args(w, {"-o", "u.zqd", "m/f0.zqd", "--files-from", c.list.empty() ? "nolist.txt" : c.list});
    EXPECT_EQ(r.status, c.status) << c.list;
    if (!c.err.empty()) {
      EXPECT_EQ(r.err, c.err) << c.list;
    }
    EXPECT_EQ(r.out.substr(r.out.size() - std::min(r.out.size(), c.out.size())), c.out) << c.list;
    EXPECT_FALSE(w.exists("u.zqd")) << c.list;
  }
}

// The screen a run on a pseudo-terminal of that width leaves behind, from
// what it wrote there, beside the screen of the console text alone: the
// progress line never wraps a row and is erased, so both are the same.
void expect_screen(const std::string& seen, const std::string& console, std::size_t width) {
  screen all(width), text_only(width);
  all.write(seen);
  text_only.write(console);
  EXPECT_FALSE(all.escapes()) << seen;
  EXPECT_EQ(all.wraps(), text_only.wraps()) << seen;
  EXPECT_EQ(all.shown(), text_only.shown()) << seen;
}

// The screen while the progress line is drawn for the console's line that
// ends console, the first time after that line: the console's text as it
// stands, and the line on a row of its own below it, the cursor behind it.
void expect_line_below(const std::string& seen, const std::string& console, const std::string& line,
                       std::size_t width) {
  const std::size_t console_line = console.substr(console.rfind('\n') + 1).size();
  const std::size_t at = seen.find(line, seen.find(console.substr(console.size() - console_line)));
  ASSERT_NE(at, std::string::npos) << seen;
  screen now(width), text_only(width);
  now.write(seen.substr(0, at + line.size()));
  text_only.write(console);
  const std::string rows = text_only.rows();
  EXPECT_EQ(now.shown(), rows + line + "\n[cursor " + std::to_string(std::count(rows.begin(), rows.end(), '\n')) +
                             "," + std::to_string(line.size()) + "]")
      << seen;
}

// On a terminal, standard error shows the progress line, cut to the
// terminal's width (80 when it tells none), and erases it; -q keeps it
// quiet. With standard output on the same terminal the line stands on the
// row below the console's "File i Name :" text, which wraps at 40 columns
// for the second, long name; otherwise standard output goes to a file and
// the terminal sees standard error alone. Under wine, tilvaro.exe gets a
// console of wine's, which draws its screen on the terminal with escape
// sequences of its own, and which takes the virtual-terminal mode but does
// not move its cursor up (it passes ESC [ A on to the terminal instead), so
// the tool draws behind the console's text there: the screen is not
// compared, only the line's text looked for.
TEST(MergeCommandLine, ProgressLineOnATerminal) {
  work_dir w;
  const std::string input = "4 1 1\n5 2 2\n6 3 3\n" + std::string(20000, ' ') + "7 7 7\n";
  const std::string name = "relev\xC3\xA9_c\xC3\xB4te_sud_\xC3\xA9t\xC3\xA9_num\xC3\xA9ro_parc_9.zqd";  // 37 columns
  w.put("a.zqd", input);
  w.put(name, input);
  const std::string console_1 = treatment_line + bounds_123 + file_line(1, "a.zqd");
  const std::string console = console_1 + file_line(2, name);
  const struct {
    unsigned short columns;
    bool stdout_too, quiet;
  } runs[] = {{80, false, false}, {80, false, true}, {40, false, false},
              {80, true, false},  {40, true, false}, {0, true, false}};
  for (const auto& run : runs) {
    SCOPED_TRACE(std::to_string(run.columns) + (run.stdout_too ? " columns, standard output too" : " columns"));
    // Under wine a program started on a fresh pseudo-terminal has once failed
    // to start at all (a non-zero status, nothing on the terminal, nothing
    // written) in a CI run, and passed on every run again: there it gets a
    // second start. Anywhere else one start must do.
    int status = 0;
    std::string seen;
    for (int start = 0; start < (under_wine() ? 2 : 1); ++start) {
      pty_child tool(
          [&] {
            const int out = ::open(w.at("stdout").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (out < 0 || (!run.stdout_too && ::dup2(out, 1) < 0) || ::chdir(w.path().c_str()) != 0) return 91;
            const char* last = run.quiet ? "-q" : "--";
            if (under_wine()) {
              const std::string wine = windows_build("wine-run"), exe = windows_build("tilvaro.exe");
              ::execl(wine.c_str(), "wine-run", exe.c_str(), "-o", "r.zqd", "a.zqd", name.c_str(), last, nullptr);
            }
            ::execl(TILVARO_EXE, "tilvaro", "-o", "r.zqd", "a.zqd", name.c_str(), last, nullptr);
            return 92;
          },
          run.columns);
      ASSERT_TRUE(tool.ok());
      status = tool.finish();
      seen = tool.read_output(kQuietMs);
      if (WIFEXITED(status) && WEXITSTATUS(status) == 0) break;
    }
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    const std::size_t width = run.columns > 0 ? run.columns : 80;
    if (run.quiet) {
      EXPECT_EQ(seen, "");
    } else if (under_wine()) {
      EXPECT_NE(seen.find("0%"), std::string::npos) << seen;  // drawn for both inputs
      EXPECT_NE(seen.find("50%"), std::string::npos) << seen;
    } else if (run.stdout_too) {
      expect_line_below(seen, console_1, "0 B of 40.0 kB (0%)", width);
      expect_line_below(seen, console, "20.0 kB of 40.0 kB (50%)", width);
      expect_screen(seen, console, width);
    } else {
      EXPECT_EQ(seen.substr(0, 20), "\r0 B of 40.0 kB (0%)") << seen;
      expect_screen(seen, "", width);
    }
    if (!run.stdout_too) {
      EXPECT_EQ(w.get("stdout"), console);
    }
    EXPECT_EQ(w.get("r.zqd"), header_123 + "7\t7.000000\t7.000000\r\n7\t7.000000\t7.000000\r\n");
  }
  // --check draws the same line, towards the sizes the file system gives.
  if (!under_wine()) {
    pty_child tool(
        [&] {
          const int out = ::open(w.at("stdout").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
          if (out < 0 || ::dup2(out, 1) < 0 || ::chdir(w.path().c_str()) != 0) return 91;
          ::execl(TILVARO_EXE, "tilvaro", "--check", "a.zqd", name.c_str(), nullptr);
          return 92;
        },
        80);
    ASSERT_TRUE(tool.ok());
    const int status = tool.finish();
    const std::string seen = tool.read_output(kQuietMs);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(seen.substr(0, 20), "\r0 B of 40.0 kB (0%)") << seen;
    expect_screen(seen, "", 80);
  }
}

// Ctrl-C while the progress line is on the screen, in the dialogue (answers
// from a file, console and progress line on the terminal) and with -o: the
// line goes, and so does the terminal's echo of the key behind it. The
// merge waits at the second input, a FIFO, to be read again.
TEST(MergeCommandLine, CtrlCErasesTheProgressLine) {
  if (under_wine()) GTEST_SKIP() << "the tool built here, on a pseudo-terminal";
  const std::string header_a = "4 1 1\n5 2 2\n6 3 3\n";
  const struct {
    bool dialogue;
    std::string console;
  } runs[] = {
      {true, dialogue(2) + bounds_123 + file_line(1, "C:\\images\\s\\a.zqd") + file_line(2, "C:\\images\\s\\f.zqd")},
      {false, treatment_line + bounds_123 + file_line(1, "images/s/a.zqd") + file_line(2, "images/s/f.zqd")},
  };
  for (const auto& run : runs) {
    SCOPED_TRACE(run.dialogue ? "dialogue" : "-o");
    work_dir w;
    w.put("images/s/a.zqd", header_a + std::string(20000, ' '));
    w.put(".answers", "s 2 a f r\n");
    const std::string fifo = w.at("images/s/f.zqd");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    pty_child tool(
        [&] {
          if (::chdir(w.path().c_str()) != 0 || ::dup2(::open(".answers", O_RDONLY), 0) != 0) return 91;
          if (run.dialogue) ::execl(TILVARO_EXE, "tilvaro", static_cast<char*>(nullptr));
          ::execl(TILVARO_EXE, "tilvaro", "-o", "images/s/r.zqd", "images/s/a.zqd", "images/s/f.zqd", nullptr);
          return 92;
        },
        80);
    ASSERT_TRUE(tool.ok());
    // The header for the bounds pass; the FIFO stays open for writing, so
    // the copy pass, whenever it opens it again, waits in its first read.
    const int end = open_fifo_for_writing(fifo, kBoundMs);
    ASSERT_GE(end, 0);
    ASSERT_EQ(::write(end, header_a.data(), header_a.size()), static_cast<ssize_t>(header_a.size()));
    // The input's size is unknown: bytes done alone, on the row below the
    // console's text.
    const std::string drawn = "20.0 kB";
    std::string seen;
    for (int ms = 0; ms < kBoundMs; ms += kQuietMs) {
      seen = tool.read_output(kQuietMs);
      if (seen.find(drawn, seen.find("f.zqd ")) != std::string::npos) break;
    }
    expect_line_below(seen, run.console, drawn, 80);
    tool.type("\x03");
    const int status = tool.finish();
    ::close(end);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGINT) << status;
    seen = tool.read_output(kQuietMs);
    expect_screen(seen, run.console, 80);
    EXPECT_EQ(w.list("images/s"), (std::set<std::string>{"a.zqd", "f.zqd"}));
  }
}

}  // namespace

// --check: one line per input (path, records, line ends and problems shown
// here; every field of the first row), the extent and counts, the status;
// nothing made or changed in the folder.
TEST(MergeCommandLine, CheckReportsEachInputAndWritesNothing) {
  work_dir w;
  w.put("clean.zqd", "4 1 2\n5 3 4\n6 5 6\n7 1 1\n");
  w.put("word.zqd", "4 1 2\n5 3 4\n6 5 6\n7 1.5 2.5\n8 -2.5 3.5\nnorth 1 1\n9 1 1\n");
  w.put("cr.zqd", "4 1 2\r\n5 3 4\r\n6 5 6\r\n7 1.5 2.5\r\n8 2 2\r9 3 3\r\n");
  w.put("short.zqd", "4 1 2\n5 3 4\n");
  w.put("bom.zqd", "\xEF\xBB\xBF" "4 1 2\n5 3 4\n6 5 6\n7 1 1\n");
  w.put("sub.zqd", "4 1 2\n5 3 4\n6 5 6\n7 1 1\n\x1A" "8 2 2\n");
  w.put("list.txt", "clean.zqd\nbom.zqd\n");
  const std::string head = "path\tbytes\trecords\tmin x\tmin y\tmax x\tmax y\tmin z\tmax z\tfirst min\tfirst max"
                           "\tsecond min\tsecond max\tline ends\tproblems\r\n";
  const std::string clean = "clean.zqd\t24\t1\t1.000000\t2.000000\t3.000000\t4.000000\t5.000000\t6.000000\t1.000000"
                            "\t1.000000\t1.000000\t1.000000\tLF\t\r\n";
  EXPECT_EQ(run_args(w, {"--check", "clean.zqd"}).out,
            head + clean + crlf("\n\tmin x = 1.000000 min y = 2.000000 \n\tmax x = 3.000000 max y = 4.000000 "
                                "\n\tmin z = 5.000000 max z = 6.000000 \n\t1 input, 1 record\n"));
  // "2 2\r9" reads as 29: the last record is "3 3", cut short by the end.
  const std::string cr_problems =
      "stops at line 5: a record cut short by the end; bare CR line ends from line 5: numbers on both sides join";
  const struct {
    std::vector<std::string> args;
    std::vector<std::string> lines;  // path, records, line ends, problems
    int status;
  } cases[] = {
      {{"clean.zqd"}, {"clean.zqd 1 LF "}, 0},
      {{"word.zqd"}, {"word.zqd 2 LF stops at line 6: \"north\""}, 1},
      {{"cr.zqd"}, {"cr.zqd 2 mixed " + cr_problems}, 1},
      {{"short.zqd"}, {"short.zqd 0 LF no complete header: 2 of its 3 records complete"}, 1},
      {{"bom.zqd"}, {"bom.zqd 1 LF a byte-order mark skipped"}, 0},
      {{"sub.zqd"}, {"sub.zqd 1 LF a 0x1A at byte 24 ends the text early"}, 1},
      {{"gone.zqd", "clean.zqd"}, {"gone.zqd   cannot be opened: No such file or directory", "clean.zqd 1 LF "}, 1},
      {{"-T", "list.txt"}, {"clean.zqd 1 LF ", "bom.zqd 1 LF a byte-order mark skipped"}, 0},
      {{"c*.zqd"}, {"clean.zqd 1 LF ", "cr.zqd 2 mixed " + cr_problems}, 1},
  };
  const std::set<std::string> folder = w.list("");
  for (const auto& c : cases) {
    std::vector<std::string> args = {"--check"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const tool_result r = run_args(w, args);
    EXPECT_EQ(r.status, c.status) << c.args[0];
    std::vector<std::string> lines;
    std::size_t at = head.size();
    for (std::size_t k = 0; k < c.lines.size() && r.out.compare(0, head.size(), head) == 0; ++k) {
      const std::size_t end = r.out.find("\r\n", at);
      std::vector<std::string> f;
      for (std::size_t p = at, q; p <= end; p = q + 1)
        f.push_back(r.out.substr(p, (q = std::min(r.out.find('\t', p), end)) - p));
      lines.push_back(f.size() == 15 ? f[0] + " " + f[2] + " " + f[13] + " " + f[14] : r.out);
      at = end + 2;
    }
    EXPECT_EQ(lines, c.lines) << r.out;
    EXPECT_EQ(w.list(""), folder) << c.args[0];
  }
}
