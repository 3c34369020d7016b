// The progress percentage: two decimals, half up from the 17-digit decimal form.

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace statics_clean
