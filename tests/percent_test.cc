// The progress percentage: two decimals, half up from the 17-digit decimal form.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "statics/percent.h"

namespace statics_clean {
namespace {

TEST(FormatPercent, RoundsHalfUpFromSeventeenDigits) {
  struct Case {
    double value;
    const char* shown;
  };
  const Case cases[] = {
      {0.0, "0.00"},         {78.125, "78.13"},     {3.125, "3.13"},
      {0.285, "0.28"},       {0.125, "0.13"},       {0.005, "0.01"},
      {0.0049, "0.00"},      {40.0, "40.00"},       {99.995, "100.00"},
      {99.99499, "99.99"},   {12.345, "12.35"},     {1.005, "1.00"},
      {2.675, "2.67"},       {0.015, "0.01"},       {100.0, "100.00"},
      {50.0 / 3.0, "16.67"}, {100.0 / 3.0, "33.33"}, {1e-20, "0.00"},
  };
  for (const Case& c : cases) EXPECT_EQ(formatPercent(c.value), c.shown) << c.value;
}

TEST(FormatPercent, MatchesTheProgressOfEntryCounts) {
  // 1 of 8 entries, 5 of 8 (the 78.125 tie of 100 of 128), and entries of a map-sized index.
  EXPECT_EQ(formatPercent(100.0 / 128.0 * 100.0), "78.13");
  EXPECT_EQ(formatPercent(static_cast<double>(100) / 250 * 100.0), "40.00");
  EXPECT_EQ(formatPercent(static_cast<double>(458700) / 458752 * 100.0), "99.99");
}

// The rule as written: the 17 significant digits, then the digit after the second decimal.
std::string plainRule(double value) {
  char sci[40];
  std::snprintf(sci, sizeof sci, "%.16e", value);
  std::string digits;
  for (const char* p = sci; *p != 'e'; ++p) {
    if (*p != '.') digits += *p;
  }
  int exponent = std::atoi(std::strchr(sci, 'e') + 1);
  // Write out the fixed-point form with at least three decimals.
  std::string fixed;
  if (exponent < 0) {
    fixed = "0." + std::string(static_cast<size_t>(-exponent - 1), '0') + digits;
  } else {
    fixed = digits.substr(0, static_cast<size_t>(exponent) + 1) + "." +
            digits.substr(static_cast<size_t>(exponent) + 1);
  }
  fixed += "000";
  size_t dot = fixed.find('.');
  long long hundredths = std::stoll(fixed.substr(0, dot) + fixed.substr(dot + 1, 2));
  if (fixed[dot + 3] >= '5') ++hundredths;
  char out[40];
  std::snprintf(out, sizeof out, "%lld.%02lld", hundredths / 100, hundredths % 100);
  return out;
}

TEST(FormatPercent, AgreesWithThePlainRuleForEveryEntryOfManyIndexSizes) {
  for (uint64_t count : {3ull, 7ull, 128ull, 250ull, 1000ull, 8000ull, 65536ull, 458752ull,
                         1048576ull}) {
    for (uint64_t i = 0; i < count; i += (count > 70000 ? 37 : 1)) {
      double value = static_cast<double>(i) / static_cast<double>(count) * 100.0;
      ASSERT_EQ(formatPercent(value), plainRule(value)) << i << " of " << count;
    }
  }
  // Around the ties, where the two ways of rounding part.
  for (int k = 0; k < 100000; ++k) {
    double tie = k / 1000.0 + 0.0005;
    for (double value : {tie, std::nextafter(tie, 0.0), std::nextafter(tie, 1e9)}) {
      ASSERT_EQ(formatPercent(value), plainRule(value)) << value;
    }
  }
}

}  // namespace
}  // namespace statics_clean
