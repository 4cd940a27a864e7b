// Numbers and strings as ActionScript 1 and 2 convert them: the player's number printing, reading numbers from
// text by the rules of each SWF version, parseInt/parseFloat, escape/unescape. Pure functions on UTF-8 text,
// used by the interpreter's conversions and by the built-in classes.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace reelfinch::avm1 {

// A number as the player prints it: at most 15 significant digits, "NaN", "Infinity", "-Infinity", the
// exponent form ("1e+21", "1.5e-7") where the player uses it. A radix other than 10 (2 to 36) prints the
// integer part in that base, as Number.toString(radix) does.
std::string numberToString(double value, int radix = 10);

// Text to number as the language's ToNumber does for a movie of `swfVersion`: surrounding white space, signs,
// decimal and exponent forms, "0x" hexadecimal where that version reads it, NaN for what is not a number
// (an empty string gives what that version gives).
double stringToNumber(std::string_view text, int swfVersion);

// The global parseInt: a radix of 2 to 36 or none (then "0x" means 16 and, where the version does, a leading
// 0 means 8); NaN when no digit starts the text.
double parseInt(std::string_view text, std::optional<int> radix, int swfVersion);
// The global parseFloat: the longest leading decimal number; NaN when there is none.
double parseFloat(std::string_view text);

// The global escape and unescape: %XX for every byte of the UTF-8 text but letters and digits; unescape reads
// %XX back (and leaves a malformed escape as it stands).
std::string escape(std::string_view text);
std::string unescape(std::string_view text);

} // namespace reelfinch::avm1
