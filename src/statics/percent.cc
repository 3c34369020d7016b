#include "statics/percent.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace statics_clean {

void formatPercent(double value, char (&buf)[kPercentTextSize]) {
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

  std::snprintf(buf, sizeof buf, "%llu.%02u", static_cast<unsigned long long>(hundredths / 100),
                static_cast<unsigned>(hundredths % 100));
}

std::string formatPercent(double value) {
  char buf[kPercentTextSize];
  formatPercent(value, buf);
  return buf;
}

}  // namespace statics_clean
