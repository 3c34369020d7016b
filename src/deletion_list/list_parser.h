// ListParser: turns the text of a deletion list into item IDs, one line at a time.
//
// The text arrives as a stream of characters (bytes of an 8-bit file, or code units of a UTF-16
// file), in pieces of any size, so that a file of any length is read in fixed memory. Rules:
//
//  - A line ends at LF, at CR LF, or at a lone CR. Each line yields at most one ID.
//  - A line yields an ID when, after optional blanks (space, tab, vertical tab, form feed), an
//    optional "+" and an optional "0x" or "0X", it has one or more hexadecimal digits whose value is
//    at most FFFF. Whatever follows the digits is ignored: "1a2 tree" is 0x1A2, "10 20" is 0x10.
//  - An empty line, or one of blanks only, yields nothing and is not reported.
//  - Any other line yields nothing and is reported as ignored, with its number and its text.
//
// Text ends where the caller stops feeding (a Ctrl-Z is handled by the caller, which stops there).

#ifndef STATICS_CLEAN_DELETION_LIST_LIST_PARSER_H_
#define STATICS_CLEAN_DELETION_LIST_LIST_PARSER_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace statics_clean {

class ListParser {
 public:
  // Called for each ID, in the order of the lines.
  using IdSink = std::function<void(uint16_t itemId)>;
  // Called for each line that is not blank but yields no ID: its number (from 1) and its text,
  // already escaped for display and cut to a readable length.
  using IgnoredSink = std::function<void(uint64_t lineNumber, const std::string& shownText)>;

  // wideText: the characters are UTF-16 code units rather than bytes; it changes only how the text
  // of an ignored line is shown.
  ListParser(bool wideText, IdSink onId, IgnoredSink onIgnored);

  void feed(uint32_t ch);
  // Ends the text: a last line without a line end is parsed as any other.
  void finish();

 private:
  enum Phase { kBlanks, kAfterSign, kAfterZero, kAfterPrefix, kDigits, kRest, kInvalid };

  // An ignored line is shown with at most this many characters, then "...".
  static constexpr size_t kShownCharsMax = 40;

  void endLine();
  std::string shownText() const;

  bool wideText_;
  IdSink onId_;
  IgnoredSink onIgnored_;

  uint64_t lineNumber_ = 1;
  bool lineHasChars_ = false;
  bool afterCr_ = false;
  Phase phase_ = kBlanks;
  uint32_t value_ = 0;  // saturates just above 0xFFFF
  // The start of the line as read, escaped only if the line is reported.
  uint32_t start_[kShownCharsMax + 1];
  size_t lineChars_ = 0;
};

}  // namespace statics_clean

#endif  // STATICS_CLEAN_DELETION_LIST_LIST_PARSER_H_
