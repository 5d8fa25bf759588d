// The smallest and the largest of a run of values, as the doubles they stand
// for, taken as doubles or as the decimals read_value gives (value_syntax.h).
//
// Most values of a long run are neither: a decimal is first placed roughly,
// by one product that is within 2^-52 of it relative to its size, and left
// when that places it well inside the range found so far (beyond a margin of
// 2^-49 of each end, which the error cannot cross). Only a decimal near an
// end or beyond one is converted to its double (the nearest, as read_record
// has it) and compared as a double, so the ends found are those of the
// doubles, bit for bit. NaN is not taken; of equal values the first stays.
#pragma once

#include <cmath>
#include <cstdint>

#include "records/record_scan.h"
#include "records/value_syntax.h"

class value_range {
 public:
  bool any() const { return any_; }
  double low() const { return low_; }
  double high() const { return high_; }

  void take(double v) {
    if (v != v) return;
    if (!any_ || v < low_) {
      low_ = v;
      low_inside_ = v + std::fabs(v) * margin;
    }
    if (!any_ || v > high_) {
      high_ = v;
      high_inside_ = v - std::fabs(v) * margin;
    }
    any_ = true;
  }

  // Takes the ends of the values of r, which come after these.
  void take(const value_range& r) {
    if (!r.any_) return;
    take(r.low_);
    take(r.high_);
  }

  void take(value_form form, const decimal& d) {
    // Step 1: a decimal whose digits a double holds exactly, of a power of
    // ten from 10^-22 to 10^22: its rough place, digits * 10^exp10 with each
    // of the two roundings within 2^-53. Its sign is exact.
    if (form == value_form::number && d.digits <= (std::uint64_t{1} << 53) && d.exp10 >= -22 && d.exp10 <= 22) {
      const double rough = static_cast<double>(static_cast<std::int64_t>(d.digits)) * rough_powers[d.exp10 + 22];
      const double v = d.negative ? -rough : rough;
      // Step 2: beyond the margins (set by take(double)), it is surely
      // inside: above low_ and below high_, equal to neither.
      if (any_ && v > low_inside_ && v < high_inside_) return;
    }
    // Step 3: any other value, converted.
    take(value_double(form, d));
  }

 private:
  static constexpr double margin = 1.0 / (std::uint64_t{1} << 49);
  // 10^-22 to 10^22, each the double nearest to it.
  static constexpr double rough_powers[45] = {
      1e-22, 1e-21, 1e-20, 1e-19, 1e-18, 1e-17, 1e-16, 1e-15, 1e-14, 1e-13, 1e-12, 1e-11, 1e-10, 1e-9, 1e-8,
      1e-7,  1e-6,  1e-5,  1e-4,  1e-3,  1e-2,  1e-1,  1e0,   1e1,   1e2,   1e3,   1e4,   1e5,   1e6,  1e7,
      1e8,   1e9,   1e10,  1e11,  1e12,  1e13,  1e14,  1e15,  1e16,  1e17,  1e18,  1e19,  1e20,  1e21, 1e22};

  double low_ = 0, high_ = 0;
  // A value above low_inside_ is above low_, one below high_inside_ below high_.
  double low_inside_ = 0, high_inside_ = 0;
  bool any_ = false;
};
