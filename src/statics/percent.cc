#include "statics/percent.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace statics_clean {

namespace {

void printHundredths(uint64_t hundredths, char (&buf)[kPercentTextSize]) {
  std::snprintf(buf, sizeof buf, "%llu.%02u", static_cast<unsigned long long>(hundredths / 100),
                static_cast<unsigned>(hundredths % 100));
}

}  // namespace

void formatPercent(double value, char (&buf)[kPercentTextSize]) {
  // Where the hundredths' fraction is clearly away from one half, its 17-digit form rounds the same
  // way as the value itself, and the costly conversion to decimal digits is not needed.
  if (value < 1e9) {
    const double scaled = value * 100.0;
    const double whole = std::floor(scaled);
    const double fraction = scaled - whole;
    if (std::fabs(fraction - 0.5) > 1e-6) {
      printHundredths(static_cast<uint64_t>(whole) + (fraction > 0.5 ? 1 : 0), buf);
      return;
    }
  }
  // "%.16e" gives the 17 significant digits: d.dddddddddddddddde[+-]XX.
  char sci[40];
  std::snprintf(sci, sizeof sci, "%.16e", value);
  int digits[17];
  int n = 0;
  const char* p = sci;
  for (; *p != 'e' && *p != '\0'; ++p) {
    if (*p >= '0' && *p <= '9' && n < 17) digits[n++] = *p - '0';
  }
  int exponent = (*p == 'e') ? std::atoi(p + 1) : 0;

  // Digit k stands for 10^(exponent - k); hundredths are the digits down to 10^-2, and the digit
  // at 10^-3 decides the rounding.
  uint64_t hundredths = 0;
  for (int k = 0; k <= exponent + 2 && k < n; ++k) hundredths = hundredths * 10 + digits[k];
  for (int k = n; k <= exponent + 2; ++k) hundredths *= 10;
  int next = exponent + 3;
  if (next >= 0 && next < n && digits[next] >= 5) ++hundredths;

  printHundredths(hundredths, buf);
}

std::string formatPercent(double value) {
  char buf[kPercentTextSize];
  formatPercent(value, buf);
  return buf;
}

}  // namespace statics_clean
