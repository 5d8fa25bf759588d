// Reading and writing point-file records: the syntax table, the line-end and
// end-of-file rules, a differential check against strtod, and round trips.
#include "records/record_copy.h"
#include "records/record_read.h"
#include "records/split_copy.h"

#include <gtest/gtest.h>
#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "merge/input_memo.h"
#include "records/input_scan.h"
#include "records/record_fields.h"
#include "records/record_scan.h"
#include "records/scan.h"
#include "records/value_syntax.h"
#include "records/value_text.h"
#include "streams/side_thread_faults.h"
#include "streams/text_marks.h"
#include "text_source.h"

// Failure messages show a code as its text.
void PrintTo(const point_code& code, std::ostream* os) { *os << code.text(); }

namespace {

constexpr double untouched = -777.0;
constexpr std::int32_t untouched_code = -777;

struct record {
  int fields;
  point_code code = untouched_code;
  double first = untouched;
  double second = untouched;
};

// Reads records until one is incomplete; returns all reads, the last one
// the incomplete read.
std::vector<record> read_all(const std::string& bytes) {
  text_source src(bytes);
  std::vector<record> out;
  for (;;) {
    record r{0};
    r.fields = read_record(src.reader, r.code, r.first, r.second);
    out.push_back(r);
    if (r.fields < 3) return out;
  }
}

record read_one(const std::string& bytes) { return read_all(bytes).front(); }

bool same(double a, double b) {
  return (std::isnan(a) && std::isnan(b) && std::signbit(a) == std::signbit(b)) ||
         (a == b && std::signbit(a) == std::signbit(b));
}

TEST(ReadRecord, FieldSyntax) {
  const double nan = std::nan("");
  struct {
    const char* text;
    int fields;
    point_code code;
    double first, second;
  } const cases[] = {
      {"1 2 3", 3, 1, 2, 3},
      {"  \t\n\v\f1\t2\n\n3", 3, 1, 2, 3},
      {"+7 -5 +5", 3, 7, -5, 5},
      {"-0 5. .5", 3, 0, 5, 0.5},
      {"1 5.25 -0.0", 3, 1, 5.25, -0.0},
      {"1 1e3 1E-3", 3, 1, 1000, 0.001},
      {"1 1e 2", 3, 1, 1, 2},        // an e without digits is exponent 0
      {"1 1e+ 2E-", 3, 1, 1, 2},
      {"1 1e0000001 -2.5E+00000000000000000000001", 3, 1, 10, -25},
      {"1 25e-0000001 -2.5E-00000000000000000000001", 3, 1, 2.5, -0.25},
      {"1 +INF -INF", 3, 1, HUGE_VAL, -HUGE_VAL},
      {"1 +NAN -NAN", 3, 1, nan, -nan},
      {"1 1e400 -1e400", 3, 1, DBL_MAX, -DBL_MAX},
      {"1 1e-400 -1e-400", 3, 1, 0.0, -0.0},
      {"1 4.9e-324 1e-310", 3, 1, 4.9406564584124654e-324, 1e-310},
      {"1 1.7976931348623158e308 1.7976931348623159e308", 3, 1, DBL_MAX, DBL_MAX},
      {"2147483647 0 0", 3, INT32_MAX, 0, 0},
      {"-2147483648 0 0", 3, INT32_MIN, 0, 0},
      {"000000000000000000000000012 0 0", 3, 12, 0, 0},
      // 19 significant digits are used, further digits only scale
      {"1 12345678901234567899 0.000123456789012345678999", 3, 1, 12345678901234567890.0,
       0.000123456789012345678},
      {"1 00000.00000123456789012345678999e6 9999999999999999999999", 3, 1, 1.234567890123456789,
       9999999999999999999000.0},
      // not values: unsigned or lower-case words, hexadecimal, bare signs
      {"1 INF 2", 1, 1, untouched, untouched},
      {"1 +inf 2", 1, 1, untouched, untouched},
      {"1 +Inf 2", 1, 1, untouched, untouched},
      {"1 nan 2", 1, 1, untouched, untouched},
      {"1 2 0x10", 3, 1, 2, 0},  // the x stays unread
      {"1 + 2", 1, 1, untouched, untouched},
      {"1 . 2", 1, 1, untouched, untouched},
      {"1 -. 2", 1, 1, untouched, untouched},
      {"1 2 e5", 2, 1, 2, untouched},
      // codes
      {"1.5 2 3", 3, 1, 0.5, 2},  // the code ends at the point
      {"+ 1 2", 0, untouched_code, untouched, untouched},
      {"abc 1 2", 0, untouched_code, untouched, untouched},
      // incomplete records
      {"7 1.5", 2, 7, 1.5, untouched},
      {"7 abc 2", 1, 7, untouched, untouched},
      {"", 0, untouched_code, untouched, untouched},
      {"   \n\n", 0, untouched_code, untouched, untouched},
  };
  for (const auto& c : cases) {
    const record r = read_one(c.text);
    EXPECT_EQ(r.fields, c.fields) << c.text;
    EXPECT_EQ(r.code, point_code(c.code)) << c.text;
    EXPECT_TRUE(same(r.first, c.first)) << c.text << " first " << r.first;
    EXPECT_TRUE(same(r.second, c.second)) << c.text << " second " << r.second;
  }
}

// read_value's parts of a value's text, the same through every source: the
// copy loop's view (field_value: a CR ends the value, the field is read
// again), text with CRs skipped, and the reader across refills (buffers of
// 1 and 3 bytes). end is where the value stops, past any CRs. A number of at
// most 19 significant digits reads as strtod reads its text.
TEST(ReadValue, PartsOfTheText) {
  constexpr auto N = value_form::number;
  struct {
    const char* text;
    value_form form;
    std::uint64_t digits;
    std::int64_t exp10;
    bool negative, dropped;
    std::size_t end;
  } const cases[] = {
      {"1234567890123456789 ", N, 1234567890123456789u, 0, false, false, 19},      // 19 digits
      {"12345678901234567891 ", N, 1234567890123456789u, 1, false, true, 20},      // 20: the last dropped
      {"0000001234567890123456789 ", N, 1234567890123456789u, 0, false, false, 25},  // zeros, then 19
      {"0.0000001234567890123456789 ", N, 1234567890123456789u, -25, false, false, 27},
      {"1234567890.1234567891 ", N, 1234567890123456789u, -9, false, true, 21},
      {"12345678901234567890000e-3 ", N, 1234567890123456789u, 1, false, true, 26},
      {"1000000000000000000000000000000 ", N, 1000000000000000000u, 12, false, true, 31},
      {"00000000000000000000000000001 ", N, 1, 0, false, false, 29},
      {"007.5 ", N, 75, -1, false, false, 5},
      {"0.000 ", N, 0, -3, false, false, 5},
      {"-0 ", N, 0, 0, true, false, 2},
      {"  \t+7 ", N, 7, 0, false, false, 5},
      {"1e ", N, 1, 0, false, false, 2},  // an e without digits is exponent 0
      {"1E+ ", N, 1, 0, false, false, 3},
      {"-2.5e-0000000000000000000001 ", N, 25, -2, true, false, 28},
      {"1.5e999999998 ", N, 15, 999999997, false, false, 13},
      {"5e1000000000 ", N, 5, 1000000000, false, false, 12},          // the ceiling
      {"1e999999999999 ", N, 1, 1000000000, false, false, 14},        // saturated
      {"1e-99999999999999999999 ", N, 1, -1000000000, false, false, 23},
      {"1\r2.5\r ", N, 125, -1, false, false, 6},  // bare CRs join
      {"1.\r\r5e\r1\r\n", N, 15, 0, false, false, 9},
      {"1.5-2 ", N, 15, -1, false, false, 3},  // the next field joined
      {"1.5.5 ", N, 15, -1, false, false, 3},
      {"0x10 ", N, 0, 0, false, false, 1},
      {"+INF ", value_form::infinity, 0, 0, false, false, 4},
      {"-NAN ", value_form::nan, 0, 0, true, false, 4},
      {"+INFINITY ", value_form::infinity, 0, 0, false, false, 4},
      {"INF ", value_form::none, 0, 0, false, false, 0},
      {"+inf ", value_form::none, 0, 0, false, false, 1},
      {"+ 1 ", value_form::none, 0, 0, false, false, 1},
      {". ", value_form::none, 0, 0, false, false, 1},
      {"-.e5 ", value_form::none, 0, 0, true, false, 2},
  };
  for (const auto& c : cases) {
    const std::string text = c.text;
    std::string padded = text + std::string(1 + text_reader::raw_padding, '\0');
    auto check = [&](value_form form, const decimal& d, std::size_t end, const char* source) {
      EXPECT_EQ(form, c.form) << source << ": " << text;
      if (form != value_form::none) {
        EXPECT_EQ(d.negative, c.negative) << source << ": " << text;
        EXPECT_EQ(end, c.end) << source << ": " << text;
      }
      if (form != N) return;
      EXPECT_EQ(d.digits, c.digits) << source << ": " << text;
      EXPECT_EQ(d.exp10, c.exp10) << source << ": " << text;
      EXPECT_EQ(d.dropped, c.dropped) << source << ": " << text;
    };
    decimal d;
    text_cursor<true> plain(padded.data());
    value_form form = read_value(plain, d);
    check(form, d, static_cast<std::size_t>(plain.at() - padded.data()), "CRs skipped");
    if (form == N && !d.dropped && std::abs(d.exp10) < 400) {
      std::string bare;
      for (std::size_t i = 0; i < c.end; ++i) {
        if (text[i] != '\r') bare += text[i];
      }
      EXPECT_EQ(decimal_to_double(d.digits, d.exp10, d.negative), std::strtod(bare.c_str(), nullptr)) << text;
    }
    const char* end;
    form = field_value(padded.data(), d, end);
    text_cursor<true> after(end);
    after.peek();
    check(form, d, static_cast<std::size_t>(after.at() - padded.data()), "copy view");
    for (std::size_t buffer : {std::size_t{1}, std::size_t{3}}) {
      text_source src(text, buffer);
      {
        reader_cursor in(src.reader);
        form = read_value(in, d);
      }
      check(form, d, c.end, "reader");
      const std::size_t rest = c.end < text.size() ? static_cast<std::size_t>(text.find_first_not_of('\r', c.end)) : 0;
      if (form != value_form::none) {
        EXPECT_EQ(src.reader.peek(), static_cast<unsigned char>(text[rest])) << text;
      }
    }
  }
}

std::string written(const point_code& code, double a, double b);

// Codes of any length up to point_code::max_digits significant digits are
// carried as the integer they are; a longer one is not a code.
TEST(ReadRecord, CodesOfAnyLength) {
  const std::string longest = "-" + std::string(5000, '0') + "1" + std::string(point_code::max_digits - 1, '0');
  const std::string too_long = "1" + std::string(point_code::max_digits, '0');
  struct {
    std::string text;
    int fields;
    std::string code;
  } const cases[] = {
      {"2147483647 1 2", 3, "2147483647"},
      {"2147483648 1 2", 3, "2147483648"},
      {"-2147483648 1 2", 3, "-2147483648"},
      {"-2147483649 1 2", 3, "-2147483649"},
      {"+0042 1 2", 3, "42"},
      {"-000 1 2", 3, "0"},
      {"-00000000000000000000000000000 1 2", 3, "0"},
      {"+0004294967296 1 2", 3, "4294967296"},
      {"-99999999999999999999 1 2", 3, "-99999999999999999999"},
      {"00000000000000000000000000002147483647 1 2", 3, "2147483647"},
      {longest + " 1 2", 3, longest.substr(0, 1) + longest.substr(5001)},
      {too_long + " 1 2", 0, std::to_string(untouched_code)},
      {"-" + too_long + "\t1 2", 0, std::to_string(untouched_code)},
  };
  for (const auto& c : cases) {
    const record r = read_one(c.text);
    EXPECT_EQ(r.fields, c.fields) << c.text.substr(0, 40);
    EXPECT_EQ(r.code.text(), c.code) << c.text.substr(0, 40);
    if (c.fields == 3) {
      EXPECT_EQ(written(r.code, 1, 2), c.code + "\t1.000000\t2.000000\r\n");
    }
  }
  // A code too long to hold is consumed: the next field starts after it.
  text_source src(too_long + " 1 2");
  point_code code;
  double a, b;
  EXPECT_EQ(read_record(src.reader, code, a, b), 0);
  EXPECT_EQ(src.reader.peek(), ' ');
}

TEST(ReadRecord, HexadecimalIsNotAValue) {
  const auto rs = read_all("1 0x1p3 2");
  ASSERT_EQ(rs[0].fields, 2);  // "0" is read, then "x1p3" is no value
  EXPECT_EQ(rs[0].first, 0.0);
  EXPECT_EQ(rs[0].second, untouched);
}

TEST(ReadRecord, CharacterAfterAFieldStaysUnread) {
  // "3abc": the code is 3 and abc is left for the next field, which fails.
  auto rs = read_all("3abc 1 2");
  ASSERT_EQ(rs.size(), 1u);
  EXPECT_EQ(rs[0].fields, 1);
  EXPECT_EQ(rs[0].code, 3);
  // Two records on one line, one record over three lines.
  rs = read_all("1 2 3 4 5 6\n7\n8\n9\n");
  ASSERT_EQ(rs.size(), 4u);
  EXPECT_EQ(rs[1].code, 4);
  EXPECT_EQ(rs[2].code, 7);
  EXPECT_EQ(rs[2].second, 9);
  EXPECT_EQ(rs[3].fields, 0);
}

TEST(ReadRecord, LineEndRules) {
  // CR LF and LF are line ends; every CR is removed, wherever it stands.
  auto rs = read_all("4 1 2\r\n5 3 4\r\n6 5 6\r\n");
  ASSERT_EQ(rs.size(), 4u);
  EXPECT_EQ(rs[2].code, 6);
  // CR-only line ends join the last number of a line with the next line's first.
  rs = read_all("4 1 2\r5 3 4\r6 5 6\r");  // reads as "4 1 25 3 46 5 6"
  ASSERT_EQ(rs.size(), 3u);
  EXPECT_EQ(rs[0].second, 25.0);
  EXPECT_EQ(rs[1].code, 3);
  EXPECT_EQ(rs[1].first, 46.0);
  EXPECT_EQ(rs[2].fields, 1);
  EXPECT_EQ(rs[2].code, 6);
  // A CR inside a number joins its digits.
  EXPECT_EQ(read_one("1\r2 3.\r5 -\r\r7").code, 12);
  EXPECT_EQ(read_one("1\r2 3.\r5 -\r\r7").first, 3.5);
  EXPECT_EQ(read_one("1\r2 3.\r5 -\r\r7").second, -7.0);
}

TEST(ReadRecord, SubstituteByteEndsTheText) {
  auto rs = read_all("4 1 2\r\n5 3 4\r\n6 5 6\r\n7 8 9\r\n\x1A" "8 1 1\r\n");
  ASSERT_EQ(rs.size(), 5u);
  EXPECT_EQ(rs[3].code, 7);
  EXPECT_EQ(rs[4].fields, 0);
  // Inside a record it cuts the record short.
  rs = read_all("7 1.5\x1A 2");
  EXPECT_EQ(rs[0].fields, 2);
  EXPECT_EQ(rs[0].first, 1.5);
  // Only the first one counts: text after it never reaches the reader,
  // even when it holds CR bytes or another 0x1A.
  rs = read_all("1 2 3\x1A\r\r\x1A 4 5 6");
  EXPECT_EQ(rs.size(), 2u);
}

// A UTF-8 byte-order mark is skipped at the very start of the text only,
// also when the buffer is smaller than the mark; elsewhere, or cut short,
// its bytes are text that is not a number.
TEST(ReadRecord, ByteOrderMarkAtTheStartOnly) {
  const std::string bom = "\xEF\xBB\xBF";
  const struct {
    std::string text;
    int fields;  // of the first record
  } cases[] = {
      {bom + "7 1.5 2\n", 3}, {bom + "\r\n 7 1.5 2", 3}, {bom, 0},         {"\xEF\xBB" "7 1 2", 0},
      {" " + bom + "7 1 2", 0}, {bom + bom + "7 1 2", 0},  {"\r" + bom + "7 1 2", 0},
  };
  for (const auto& c : cases) {
    for (std::size_t buffer : {std::size_t{1}, std::size_t{2}, std::size_t{4}, text_reader::default_buffer_size}) {
      text_source src(c.text, buffer);
      point_code code = 0;
      double x = 0, y = 0;
      EXPECT_EQ(read_record(src.reader, code, x, y), c.fields) << c.text << " buffer " << buffer;
      if (c.fields == 3) {
        EXPECT_TRUE(code == 7 && x == 1.5 && y == 2.0);
      }
    }
  }
  // Read again from the start, the mark is skipped again.
  text_source src(bom + "7 1 2\n8 1 2\n");
  point_code code;
  double x, y;
  ASSERT_EQ(read_record(src.reader, code, x, y), 3);
  ASSERT_TRUE(src.reader.seek(0));
  ASSERT_EQ(read_record(src.reader, code, x, y), 3);
  EXPECT_EQ(code, 7);
}

TEST(ReadRecord, HeaderCodesAreNotExamined) {
  const auto rs = read_all("9 10 20\n-3 30 40\n-" + std::string(300, '7') + " 1 2\n12 1.5 2\n");
  ASSERT_EQ(rs.size(), 5u);
  EXPECT_EQ(rs[0].code, 9);
  EXPECT_EQ(rs[1].code, -3);
  EXPECT_EQ(rs[3].code, 12);
}

// Fields that straddle the reader's buffer boundary, and digit runs longer
// than the buffer, read as if the text were contiguous.
TEST(ReadRecord, FieldsAcrossBufferRefills) {
  for (std::size_t pad = text_reader::default_buffer_size - 40; pad < text_reader::default_buffer_size + 2; ++pad) {
    std::string text(pad, ' ');
    text += "123 601569.203875 -2401802.265061e0\r\n";
    const record r = read_one(text);
    ASSERT_EQ(r.fields, 3) << pad;
    ASSERT_EQ(r.code, 123);
    ASSERT_EQ(r.first, 601569.203875);
    ASSERT_EQ(r.second, -2401802.265061);
  }
  std::string huge = "5 0." + std::string(3 * text_reader::default_buffer_size, '0') + "15e" +
                     std::to_string(3 * text_reader::default_buffer_size + 1) + " 1" +
                     std::string(2 * text_reader::default_buffer_size, '7') + "e-" +
                     std::to_string(2 * text_reader::default_buffer_size);
  const record r = read_one(huge);
  ASSERT_EQ(r.fields, 3);
  EXPECT_EQ(r.first, 1.5);
  EXPECT_EQ(r.second, 1.777777777777777777);
}

// A reader of one byte at a time hands over to a reader that reads ahead
// (an input read once: its header, then its copy) after 0 to 3 records:
// what is read is what one reader reads, byte-order mark, CR bytes and the
// 0x1A end included.
TEST(TextReader, HandOverGoesOnWhereTheFirstStopped) {
  const std::string texts[] = {
      "\xEF\xBB\xBF" "4 1 1\r\n5 2 2\r\n6 3 3\r\n7 1.5 2\r\n",
      "4 1 1 5 2 2 6 3\r3 7 1.5\n2 8 1 1",
      "4 1 1\n5 2 2\n6 3 3\n\x1A" "7 1 1\n",
      "4 1 1\n5 2 2\n6 3 3\n7 1 word 8 1 1\n",
  };
  for (const std::string& text : texts) {
    const std::vector<record> whole = read_all(text);
    for (std::size_t first = 0; first <= 3; ++first) {
      text_source src(text, 1);
      text_reader rest;
      rest.prefetch(true);
      std::vector<record> got;
      for (;;) {
        text_reader& in = got.size() < first ? src.reader : rest;
        if (got.size() == first) rest.resume(src.reader.release());
        record r{0};
        r.fields = read_record(in, r.code, r.first, r.second);
        got.push_back(r);
        if (r.fields < 3) break;
      }
      ASSERT_EQ(got.size(), whole.size()) << text << " after " << first;
      for (std::size_t i = 0; i < got.size(); ++i) {
        EXPECT_EQ(got[i].fields, whole[i].fields);
        EXPECT_TRUE(got[i].code == whole[i].code && same(got[i].first, whole[i].first) &&
                    same(got[i].second, whole[i].second));
      }
    }
  }
}

// The first bare CR (a CR run followed by a byte other than LF, before any
// 0x1A) and its line, against a direct search of the whole text: random
// texts of CR, LF, digits and blanks, or of lines with a rare bare CR, read at sizes that put a stretch's end
// anywhere (one byte, around the 64-byte blocks), read ahead or not,
// and handed over from a one-byte reader after a few bytes.
TEST(TextReader, FirstBareCrAtAnyReadSize) {
  std::mt19937 rng(27);
  const char alphabet[] = "\r\r\n\n1 ";
  const char* const pieces[] = {"1 ", "\r\n", "\n", "\r\r\n", "7"};  // and rarely a bare "\r"
  for (int round = 0; round < 3000; ++round) {
    std::string text;
    if (round % 3) {
      text.resize(rng() % 40);
      for (char& c : text) c = alphabet[rng() % 6];
    } else {
      for (std::size_t n = rng() % 2000; text.size() < n;) text += rng() % 300 ? pieces[rng() % 5] : "\r";
    }
    if (round % 7 == 0 && !text.empty()) text[rng() % text.size()] = '\x1A';
    const std::size_t end = std::min(text.find('\x1A'), text.size());
    long long line = 0, at = -1;
    for (std::size_t i = 0; i + 1 < end && at < 0; ++i)
      if (text[i] == '\r' && text[i + 1] != '\r' && text[i + 1] != '\n') {
        at = static_cast<long long>(i);
        line = 1 + std::count(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(i), '\n');
      }
    const std::size_t sizes[] = {1, 2, 17, 64, 65, text_reader::default_buffer_size};
    const std::size_t size = sizes[rng() % 6];
    const std::size_t handed = rng() % 8;
    text_source src(text, round % 2 ? 1 : size);
    text_reader ahead(size);
    ahead.prefetch(round % 4 < 2);
    text_reader* in = &src.reader;
    for (std::size_t read = 0; in->peek() >= 0; ++read) {
      if (round % 2 && read == handed) {
        ahead.resume(src.reader.release());
        in = &ahead;
        if (in->peek() < 0) break;
      }
      in->skip();
    }
    ASSERT_EQ(in->bare_cr().line(), line) << ::testing::PrintToString(text) << " size " << size;
    if (line != 0) {
      ASSERT_EQ(in->bare_cr().offset(), at) << ::testing::PrintToString(text);
    }
  }
}

// One reader reading ahead takes file after file, each read to its end and
// again from its middle: every byte arrives once and in order, whichever
// side of a stretch's end the file ends, and the reading thread, started
// for the first file that fills a stretch, serves all the others.
TEST(TextReader, ReadingAheadFileAfterFile) {
  const std::size_t stretch = text_reader::read_ahead_size;
  text_reader reader;
  reader.prefetch(true);
  side_thread_fail_at(0);
  for (const std::size_t size : {std::size_t(0), std::size_t(1), stretch - 1, stretch, stretch + 1, 3 * stretch + 5,
                                 std::size_t(5), 2 * stretch}) {
    std::string bytes(size, ' ');
    for (std::size_t i = 0; i < size; ++i) bytes[i] = char('a' + (i * 7 + size) % 26);
    std::FILE* f = std::tmpfile();
    ASSERT_NE(f, nullptr);
    ASSERT_EQ(std::fwrite(bytes.data(), 1, size, f), size);
    std::fflush(f);
    std::rewind(f);
    const int fd = io_fd_of(f);
    reader.attach(fd);
    for (const std::size_t from : {std::size_t(0), size / 2}) {
      ASSERT_TRUE(reader.seek(static_cast<long long>(from)));
      std::string got;
      while (reader.peek() >= 0) {
        got.append(reader.pos(), reader.limit());
        reader.advance_to(reader.limit());
      }
      EXPECT_FALSE(reader.failed());
      EXPECT_TRUE(got == bytes.substr(from)) << size << " bytes from " << from;
    }
    reader.close();
    release_io_fd(fd);
    std::fclose(f);
  }
  EXPECT_EQ(side_thread_starts(), 1u);
}

// The text of a value with its significant digits after the 19th made 0
// (before the point) or dropped (after it): what the reader keeps.
std::string first_19_digits(const std::string& v) {
  std::string out;
  int significant = 0;
  bool point = false, exponent = false;
  for (const char c : v) {
    if (exponent || !is_digit(c)) {
      exponent = exponent || c == 'e' || c == 'E';
      point = point || c == '.';
      out += c;
    } else if (significant > 0 || c != '0') {
      ++significant;
      if (significant <= 19) {
        out += c;
      } else if (!point) {
        out += '0';
      }
    } else {
      out += c;
    }
  }
  return out;
}

// Random texts of the value syntax, of up to 19 significant digits and
// just beyond (20, 40), leading zeros before and after the point, and
// exponents of 1 to 12 digits: the C library's strtod of the text cut at
// 19 significant digits is the oracle (infinite where the reader
// saturates).
TEST(ReadRecord, ValuesMatchStrtod) {
  std::mt19937_64 rng(29);
  auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
  std::string text;
  std::vector<std::string> values;
  for (int i = 0; i < 300000; ++i) {
    std::string v;
    if (pick(3) == 0) v += pick(2) ? '-' : '+';
    static const int lengths[] = {18, 19, 20, 40};
    const int total = pick(3) ? 1 + pick(19) : lengths[pick(4)];
    const int zeros = pick(4) ? pick(4) : pick(30);
    v += std::string(static_cast<std::size_t>(zeros), '0');
    const int point = pick(4) ? pick(total + 2) : 0;
    for (int k = 0, lead = pick(2) ? pick(25) : 0; k < total; ++k) {
      if (k == point) v += '.' + std::string(static_cast<std::size_t>(lead), '0');
      v += static_cast<char>('0' + pick(10));
    }
    if (pick(2)) {
      v += pick(2) ? 'e' : 'E';
      if (pick(2)) v += pick(2) ? '-' : '+';
      const std::string e = std::to_string(pick(2) ? pick(30) : pick(700));
      const int digits = 1 + pick(12);  // 1 to 12 digits, as many leading zeros as it takes
      v += std::string(static_cast<std::size_t>(std::max(0, digits - static_cast<int>(e.size()))), '0') + e;
    }
    values.push_back(v);
    if (pick(16) == 0) v.insert(static_cast<std::size_t>(pick(static_cast<int>(v.size()) + 1)), "\r");  // removed when read
    text += "1 " + v + " " + v + "\r\n";
  }
  text_source src(text);
  for (const std::string& v : values) {
    point_code code;
    double a, b;
    ASSERT_EQ(read_record(src.reader, code, a, b), 3) << v;
    double expected = std::strtod(first_19_digits(v).c_str(), nullptr);
    if (std::isinf(expected)) expected = std::copysign(DBL_MAX, expected);
    ASSERT_TRUE(same(a, expected)) << v << " read " << a << " strtod " << expected;
  }
}

// scan_input against a read_record loop (the oracle), bit for bit: each
// round's values come from one cluster of decimals a unit of their last
// digit apart, of one exponent (within and beyond the powers a double holds
// exactly), so that many round to one double or to neighbouring ones and
// the ends of both ranges are met again and again by ties and near ties;
// some rounds add zeros of both signs, NaN, infinity and values of more
// digits. The text is scanned alone or in parts, and the line ends are
// counted as the bytes are seen.
TEST(ScanInput, RangesAndLineEndsAsTheReadingHasThem) {
  std::mt19937_64 rng(31);
  auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
  const char* const clusters[] = {"1234567890123456", "900719925474097", "1", "33333333333333333", "5000000000000"};
  const char* const others[] = {"0", "-0", "+0.000", "-INF", "+NAN", "1e-300", "12345678901234567890123"};
  for (int round = 0; round < 60; ++round) {
    const std::string cluster = clusters[round % 5];
    const std::string exponent = "e" + std::to_string(round * 7 % 51 - 25);
    std::string text = "0 0 0\n0 0 0\n0 0 0\n";
    for (int i = 0, n = 1 + pick(3000); i < n; ++i) {
      std::string v[2];
      for (std::string& s : v) {
        std::string m = cluster;
        m.back() = static_cast<char>(m.back() + pick(3));
        s = round % 4 == 0 && pick(50) == 0 ? others[pick(7)] : (pick(2) ? "-" : "") + m + exponent;
      }
      const char* const between[] = {" ", "\t", "\n"};  // some records over several lines
      text += std::to_string(i % 9) + between[pick(3)] + v[0] + between[pick(3)] + v[1] + (pick(3) ? "\r\n" : "\n");
    }
    text_source scanned(text, round % 2 ? 64 : text_reader::default_buffer_size), read(text);
    line_end_count ends;
    scanned.reader.observe(
        [](void* ctx, const char* p, std::size_t n, std::size_t) { static_cast<line_end_count*>(ctx)->take(p, n); },
        &ends);
    read_header(scanned.reader);
    read_header(read.reader);
    scan_splitter splitter(round % 4 + 1, 16);  // one to four parts of every stretch
    const input_scanned got = scan_input(scanned.reader, round % 3 ? &splitter : nullptr);
    value_range first, second;
    point_code code;
    double a, b;
    std::uint64_t records = 0;
    for (; read_record(read.reader, code, a, b) == 3; ++records) {
      first.take(a);
      second.take(b);
    }
    ASSERT_EQ(got.records, records);
    for (const auto& [g, w] : {std::make_pair(&got.first, &first), std::make_pair(&got.second, &second)}) {
      ASSERT_TRUE(g->any() && same(g->low(), w->low()) && same(g->high(), w->high()))
          << "round " << round << std::hexfloat << ": " << g->low() << " " << w->low() << ", " << g->high() << " " << w->high();
    }
    const auto lfs = std::count(text.begin(), text.end(), '\n');
    long long crlfs = 0;
    for (std::size_t k = 1; k < text.size(); ++k) crlfs += text[k] == '\n' && text[k - 1] == '\r';
    ASSERT_EQ(ends.lfs, lfs);
    ASSERT_EQ(ends.crlfs, crlfs);
  }
}

// Writes records through a point_writer into a temporary file and returns
// the bytes.
struct record_sink {
  std::FILE* file = std::tmpfile();
  point_writer out;
  int fd = io_fd_of(file);
  record_sink() { out.attach(fd); }
  ~record_sink() {
    release_io_fd(fd);
    std::fclose(file);
  }
  std::string bytes() {
    EXPECT_TRUE(out.flush());
    std::rewind(file);
    std::string s;
    char buf[4096];
    for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, file)) > 0;) s.append(buf, n);
    return s;
  }
};

std::string written(const point_code& code, double a, double b) {
  record_sink sink;
  write_record(sink.out, code, a, b);
  return sink.bytes();
}

TEST(WriteRecord, Layout) {
  EXPECT_EQ(written(12, 1.5, 2), "12\t1.500000\t2.000000\r\n");
  EXPECT_EQ(written(-4, -0.0, -0.0000006), "-4\t0.000000\t-0.000001\r\n");
  EXPECT_EQ(written(INT32_MIN, HUGE_VAL, -std::nan("")), "-2147483648\t+INF\t-NAN\r\n");
  EXPECT_EQ(written(0, 4000000.0, 1e40), "0\t4000000.000000\t1.000000000000000030000000000000000000000e+40\r\n");

  // A record's two values may be written side by side: each the text
  // format_value gives it, whatever the other value is. Doubles of every
  // binade up to 1e9, decimal ties and near-ties, and the edges.
  std::mt19937_64 rng(47);
  std::uniform_int_distribution<int> binade(-40, 30);
  std::uniform_int_distribution<std::uint64_t> mantissa(0, (std::uint64_t{1} << 53) - 1);
  std::uniform_int_distribution<std::int64_t> tenths(-1000000000000000, 1000000000000000);
  std::vector<double> values = {0.0,          -0.0,         0.0078125,         -0.0000004, -0.0000006,
                                0.4999995,    0.9999995,    0.9999997,         -5.9999997, 12345678.9999999,
                                -1.0000005,   99999999.9999997, -99999999.9999995, 1e8, 12345678.0000005,
                                HUGE_VAL,     std::nan("")};
  for (int i = 0; i < 30000; ++i) {
    const double v = i % 3 == 0 ? static_cast<double>(tenths(rng)) / 1e7
                                : std::ldexp(static_cast<double>(mantissa(rng)), binade(rng) - 52);
    values.push_back(i & 1 ? -v : v);
  }
  const auto text = [](double v) {
    char buf[value_text_max];
    return std::string(buf, format_value(buf, v));
  };
  for (std::size_t i = 0; i < values.size(); ++i) {
    const double x = values[i], y = values[(i * 7919 + 13) % values.size()];
    ASSERT_EQ(written(5, x, y), "5\t" + text(x) + "\t" + text(y) + "\r\n") << std::hexfloat << x << " " << y;
  }
}

#ifndef _WIN32
TEST(WriteRecord, WriteErrorsAreReported) {
  const int fd = ::open("/dev/full", O_WRONLY);
  if (fd < 0) GTEST_SKIP() << "no /dev/full";
  point_writer w;
  w.attach(fd);
  for (int i = 0; i < 100000; ++i) write_record(w, i, i, i);  // more than one buffer
  EXPECT_FALSE(w.flush());
  EXPECT_EQ(w.failed().error, ENOSPC);
  ::close(fd);
}
#endif

// Whatever is written reads back as the value its text denotes; infinities
// and NaNs keep their sign; a second pass writes the same bytes again.
TEST(WriteRecord, RoundTrip) {
  std::mt19937_64 rng(31);
  std::uniform_int_distribution<int> binade(-30, 200);
  std::uniform_int_distribution<std::uint64_t> mantissa(0, (std::uint64_t{1} << 53) - 1);
  std::vector<double> values = {HUGE_VAL, -HUGE_VAL, std::nan(""), -std::nan(""), DBL_MAX, -DBL_MAX, -0.0};
  for (int i = 0; i < 100000; ++i) {
    double v = std::ldexp(static_cast<double>(mantissa(rng)), binade(rng) - 52);
    values.push_back(i & 1 ? -v : v);
  }

  record_sink first;
  for (std::size_t i = 0; i < values.size(); ++i) write_record(first.out, static_cast<std::int32_t>(i), values[i], -values[i]);
  const std::string first_pass = first.bytes();

  text_source src(first_pass);
  record_sink second;
  for (std::size_t i = 0; i < values.size(); ++i) {
    point_code code;
    double a, b;
    ASSERT_EQ(read_record(src.reader, code, a, b), 3);
    ASSERT_EQ(code, point_code(static_cast<std::int32_t>(i)));
    char text[value_text_max + 1];
    *format_value(text, values[i]) = '\0';
    double expected = std::isnan(values[i]) ? values[i] : std::strtod(text, nullptr);
    if (std::isinf(values[i])) expected = values[i];
    ASSERT_TRUE(same(a, expected) || (expected == 0 && a == 0)) << text;
    write_record(second.out, code, a, b);
  }
  EXPECT_EQ(first_pass, second.bytes());
}

// A value in exponent form of 1 to 9 digits and a short exponent: around
// the copy loop's limits for writing such a value from its digits (8
// digits, 8 integer digits, 6 decimals without rounding, no leading zero).
std::string short_exponent_field(const std::function<int(int)>& pick) {
  std::string s = pick(4) == 0 ? "-" : pick(8) == 0 ? "+" : "";
  const int digits = 1 + pick(9);
  const int point = pick(digits + 1);  // digits before the point; none: all
  for (int i = 0; i < digits; ++i) {
    if (i == point && i > 0) s += '.';
    s += static_cast<char>('0' + (i == 0 && pick(16) != 0 ? 1 + pick(9) : pick(10)));
  }
  if (point == digits && pick(8) == 0) s += '.';
  s += pick(2) ? 'e' : 'E';
  const int exponent = pick(25) - 12;
  s += exponent < 0 ? "-" : pick(4) == 0 ? "+" : "";
  if (pick(8) == 0) s += std::string(static_cast<std::size_t>(1 + pick(3)), '0');
  return s + std::to_string(exponent < 0 ? -exponent : exponent);
}

// A random field text: mostly in the written form, often just outside it.
std::string random_field(std::mt19937_64& rng, bool is_code) {
  auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
  if (!is_code && pick(16) == 0) return short_exponent_field(pick);
  static const char* const odd[] = {"+5", "007", "-0", "0", "-0.000000", "0.000000", "-0.000001", "+1.500000",
                                    "01.500000", "1.5", "1.5000000", "12345678.000000", "9999999.999999",
                                    "-9999999.999999", "1e3", "+INF", "-NAN", "abc", "1.50000O", ".500000",
                                    "5.", "99999999", "2147483648", "-2147483648", "1\r2.000000",
                                    "+0042", "-000", "4294967296", "-099999999999999999999", "-0.000",
                                    "-0.", "-0.0001", "0.", "-0.0000000", "00.5", "1234567.1234567",
                                    "12345678", "1.5e0", "123456789012345", "1234567890123456",
                                    "0.0000005", "-0.0000005", "0.0000015", "2.0000025", "9999999.9999995",
                                    "-9999999.99999949999", "1234567.1234565", "5e-7", "15E-7", "+0.00000050001",
                                    "0.000000499999999999999", "1.00000050000000000000", "683.2000005000000000001"};
  if (pick(8) == 0) return odd[pick(sizeof odd / sizeof *odd)];
  std::string s = pick(4) == 0 ? "-" : pick(16) == 0 ? "+" : "";
  if (pick(16) == 0) s += "00";
  const int int_digits = 1 + pick(is_code ? (pick(8) == 0 ? 30 : 9) : pick(2) ? 7 : 8);
  s += static_cast<char>('1' + pick(9));
  for (int i = 1; i < int_digits; ++i) s += static_cast<char>('0' + pick(10));
  if (pick(6) == 0) s[s.size() - int_digits] = '0';
  if (!is_code && pick(8) != 0) {  // else an integer value
    s += '.';
    if (pick(8) == 0) s += std::string(static_cast<std::size_t>(pick(14)), '0');
    const int decimals = pick(3) == 0 ? pick(pick(2) ? 9 : pick(2) ? 20 : 40) : 6;
    for (int i = 0; i < decimals; ++i) s += static_cast<char>('0' + pick(10));
    if (decimals > 6 && pick(4) == 0) {  // at or near a rounding tie
      const std::size_t at = s.size() - static_cast<std::size_t>(decimals - 6);
      s[at] = '5';
      if (pick(2)) std::fill(s.begin() + static_cast<std::ptrdiff_t>(at) + 1, s.end(), '0');
    }
    if (pick(8) == 0) s += (pick(2) ? "e" : "E-") + std::string(static_cast<std::size_t>(pick(2) ? 0 : pick(12)), '0') + std::to_string(pick(9));
  }
  if (pick(32) == 0) s.insert(static_cast<std::size_t>(pick(static_cast<int>(s.size()) + 1)), "\r");
  return s;
}

// copy_records + copy_record and read_record + write_record give the same
// bytes and the same counts, whatever the field forms, separators and
// buffer refills.
TEST(CopyRecord, SameAsReadThenWrite) {
  std::mt19937_64 rng(37);
  // "" joins two fields ("1.5" "-2" reads as two values, "1.5" "2" as one).
  static const char* const separators[] = {" ", "\t", "\r\n", "\n", "  \t", "\r\r\n", "\r \n", "\v\f", " \n", ""};
  for (int round = 0; round < 40; ++round) {
    std::string text;
    for (int r = 0; r < 2000; ++r) {
      // Every fourth round in the written layout (tabs, CR LF), so that
      // whole records take the canonical path.
      auto sep = [&](int i) { return round % 4 == 3 ? (i < 2 ? "\t" : "\r\n") : separators[rng() % 10]; };
      text += random_field(rng, true) + sep(0) + random_field(rng, false) + sep(1) + random_field(rng, false) + sep(2);
    }
    if (round % 2) text.resize(text.size() - 1);  // the last field ends the file
    for (std::size_t buffer : {std::size_t{7}, std::size_t{64}, text_reader::default_buffer_size}) {
      text_source a(text, buffer), b(text, buffer);
      record_sink copied, rewritten;
      split_copy parts(32, 3);  // every stretch of 32 bytes or more in three parts
      for (;;) {
        point_code code;
        double x, y;
        // As the merge does: many records at once (on one thread or on two),
        // then the next one alone.
        const std::size_t copied_at_once =
            round % 3 != 0 ? parts.copy(a.reader, copied.out) : copy_records(a.reader, copied.out).count;
        for (std::size_t k = copied_at_once; k > 0; --k) {
          ASSERT_EQ(read_record(b.reader, code, x, y), 3) << "round " << round;
          write_record(rewritten.out, code, x, y);
        }
        const int n = copy_record(a.reader, copied.out);
        const int m = read_record(b.reader, code, x, y);
        if (m == 3) write_record(rewritten.out, code, x, y);
        ASSERT_EQ(n, m) << "round " << round;
        if (n == 0) {  // not a code: step over one byte in both and go on
          ASSERT_EQ(a.reader.peek(), b.reader.peek());
          if (a.reader.peek() < 0) break;
          a.reader.skip();
          b.reader.skip();
        }
      }
      ASSERT_EQ(copied.bytes(), rewritten.bytes()) << "round " << round << " buffer " << buffer;
    }
  }
}

// Records that the copy loop's fast paths once left to read_record, one
// after the other: %.15f values, more than 19 digits, CR inside numbers,
// exponents of many digits, words, long codes. Copied as the merge copies
// them, they give read_record + write_record's bytes, and cut each buffer
// of the reader at most once into three parts: no part per record, and
// none thrown away (a record per line).
TEST(CopyRecord, BlockedRecordsStartFewParts) {
  std::string text;
  for (int i = 0; text.size() < 600000; ++i) {
    const std::string n = std::to_string(i);
    char fixed[96];
    std::snprintf(fixed, sizeof fixed, " %.15f %.15f\n", 601569.0 + i / 7.0, 2401802.0 - i / 3.0);
    const std::string lines[] = {n + fixed, n + " 601569." + std::string(18, '0') + n + " 0000000000000000000000.5\n",
                                 n + " 1\r2.5 3.\r25\r\n", n + " 1.5e00000000003 -2E-000000000001\n",
                                 n + " +INF -NAN\n", "12345678901" + n + " 1 2\n"};
    text += lines[i % 6];
  }
  text_source a(text), b(text);
  record_sink copied, rewritten;
  split_copy parts(1 << 16, 3);
  point_code code;
  double x, y;
  int fields;
  do {
    parts.copy(a.reader, copied.out);
    fields = read_record(a.reader, code, x, y);
    if (fields == 3) write_record(copied.out, code, x, y);
  } while (fields == 3);
  while (read_record(b.reader, code, x, y) == 3) write_record(rewritten.out, code, x, y);
  ASSERT_EQ(copied.bytes(), rewritten.bytes());
  const std::size_t buffers = text.size() / text_reader::default_buffer_size + 1;
  EXPECT_GE(parts.parts().started, 2u);
  EXPECT_LE(parts.parts().started, 2 * buffers);
  EXPECT_EQ(parts.parts().dropped, 0u);
}

}  // namespace
