// Formatting of the progress percentage.

#ifndef STATICS_CLEAN_STATICS_PERCENT_H_
#define STATICS_CLEAN_STATICS_PERCENT_H_

#include <string>

namespace statics_clean {

constexpr int kPercentTextSize = 24;

// Formats value with exactly two decimals, rounding half up from its decimal form of 17
// significant digits: 78.125 gives "78.13", 0.285 (0.28499999999999998) gives "0.28".
// The C library's "%.2f" rounds the exact binary value, and ties to even, so it is not used.
// Writes the text and a terminating zero to buf, and allocates nothing, so that progress costs
// no allocation. REQUIRES: 0 <= value < 1e15.
void formatPercent(double value, char (&buf)[kPercentTextSize]);
std::string formatPercent(double value);

}  // namespace statics_clean

#endif  // STATICS_CLEAN_STATICS_PERCENT_H_
