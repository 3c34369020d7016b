#include "deletion_list/list_parser.h"

#include <cstdio>
#include <utility>

namespace statics_clean {
namespace {

bool isBlank(uint32_t ch) { return ch == ' ' || ch == '\t' || ch == '\v' || ch == '\f'; }

int hexValue(uint32_t ch) {
  if (ch >= '0' && ch <= '9') return static_cast<int>(ch - '0');
  if (ch >= 'a' && ch <= 'f') return static_cast<int>(ch - 'a' + 10);
  if (ch >= 'A' && ch <= 'F') return static_cast<int>(ch - 'A' + 10);
  return -1;
}

}  // namespace

ListParser::ListParser(bool wideText, IdSink onId, IgnoredSink onIgnored)
    : wideText_(wideText), onId_(std::move(onId)), onIgnored_(std::move(onIgnored)) {}

void ListParser::feed(uint32_t ch) {
  if (ch == '\n') {
    if (afterCr_) {
      afterCr_ = false;  // the LF of a CR LF: the line already ended at the CR
      return;
    }
    endLine();
    return;
  }
  afterCr_ = false;
  if (ch == '\r') {
    endLine();
    afterCr_ = true;
    return;
  }

  lineHasChars_ = true;
  if (lineChars_ <= kShownCharsMax) start_[lineChars_] = ch;
  ++lineChars_;
  int digit = hexValue(ch);
  switch (phase_) {
    case kBlanks:
      if (isBlank(ch)) break;
      if (ch == '+') {
        phase_ = kAfterSign;
        break;
      }
      [[fallthrough]];
    case kAfterSign:
      if (ch == '0') {
        phase_ = kAfterZero;
        value_ = 0;
      } else if (digit >= 0) {
        phase_ = kDigits;
        value_ = static_cast<uint32_t>(digit);
      } else {
        phase_ = kInvalid;
      }
      break;
    case kAfterZero:
      if (ch == 'x' || ch == 'X') {
        phase_ = kAfterPrefix;
      } else if (digit >= 0) {
        phase_ = kDigits;
        value_ = static_cast<uint32_t>(digit);
      } else {
        phase_ = kRest;
      }
      break;
    case kAfterPrefix:
      if (digit >= 0) {
        phase_ = kDigits;
        value_ = static_cast<uint32_t>(digit);
      } else {
        phase_ = kInvalid;
      }
      break;
    case kDigits:
      if (digit >= 0) {
        value_ = value_ * 16 + static_cast<uint32_t>(digit);
        if (value_ > 0xFFFF) value_ = 0x10000;  // too large, however many digits follow
      } else {
        phase_ = kRest;
      }
      break;
    case kRest:
    case kInvalid:
      break;
  }
}

void ListParser::finish() {
  if (lineHasChars_) endLine();
}

void ListParser::endLine() {
  if (lineHasChars_ && phase_ != kBlanks) {
    bool isId = (phase_ == kAfterZero || phase_ == kDigits || phase_ == kRest) && value_ <= 0xFFFF;
    if (isId) {
      onId_(static_cast<uint16_t>(value_));
    } else {
      onIgnored_(lineNumber_, shownText());
    }
  }
  ++lineNumber_;
  lineHasChars_ = false;
  phase_ = kBlanks;
  value_ = 0;
  lineChars_ = 0;
}

// The start of the line for a warning. Printable ASCII is shown as it is; quotes and backslashes
// are escaped; anything else as \xNN (a byte) or \uNNNN (a UTF-16 code unit), so that a warning
// never puts control characters or broken text on the user's console.
std::string ListParser::shownText() const {
  std::string shown;
  char buf[12];
  for (size_t i = 0; i < lineChars_ && i < kShownCharsMax; ++i) {
    const uint32_t ch = start_[i];
    if (ch == '"' || ch == '\\') {
      shown += '\\';
      shown += static_cast<char>(ch);
    } else if (ch >= 0x20 && ch < 0x7F) {
      shown += static_cast<char>(ch);
    } else if (wideText_ && ch > 0x7F) {
      std::snprintf(buf, sizeof buf, "\\u%04X", static_cast<unsigned>(ch));
      shown += buf;
    } else {
      std::snprintf(buf, sizeof buf, "\\x%02X", static_cast<unsigned>(ch));
      shown += buf;
    }
  }
  if (lineChars_ > kShownCharsMax) shown += "...";
  return shown;
}

}  // namespace statics_clean
