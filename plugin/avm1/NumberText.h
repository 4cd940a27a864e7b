// Numbers and strings as ActionScript 1 and 2 convert them: the player's number printing, reading numbers from
// text by the rules of each SWF version, parseInt/parseFloat, escape/unescape. Pure functions on UTF-8 text,
// used by the interpreter's conversions and by the built-in classes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace reelfinch::avm1 {

// A number as the player prints it: at most 15 significant digits, rounded; "NaN", "Infinity", "-Infinity";
// -0 prints "0". Decimal exponents from -5 to 14 print in fixed form ("0.00001", "123456789012345"), others in
// exponent form without padding ("1e+15", "1.5e-7"). A radix of 2 to 36 other than 10 prints the number cut
// to a 32-bit integer in that base, as Number.toString(radix) does (NaN, infinities and numbers out of the
// 32-bit range become -2147483648, whose digits the player prints as characters below '0'); any other radix
// prints in base 10.
std::string numberToString(double value, int radix = 10);

// Text to number as the language's ToNumber does for a movie of `swfVersion`:
// - white space (space, tab, CR, LF, VT, FF) may precede the number, never follow it;
// - a decimal number with an optional sign, fraction and exponent; "Infinity" and "inf" are not numbers;
// - from SWF 6, a "0x" prefix at the very start reads a hexadecimal, and "0" followed only by octal digits
//   (after an optional sign at the very start) an octal number, both cut to a signed 32-bit integer;
// - anything else is NaN, the empty string included; SWF 4 and older read a number at the start and ignore
//   what follows it, and read text that does not start with a number as 0.
double stringToNumber(std::string_view text, int swfVersion);

// The global parseInt. `radix` is the argument cut to an integer (the caller passes 0 for NaN or a value out
// of the int range); a radix given but outside 2 to 36 gives NaN. Without a radix, "0x" at the very start
// reads hexadecimal and a string of octal digits after "0" (and an optional sign at the start) octal.
// Leading white space and a sign are skipped; digits are read up to the first that is not one; NaN when
// there is none. The player's quirks are kept: white space and a sign may follow the "0x" prefix, and a sign
// followed by "0x" at the start skips the sign and the zero (so "-0x10" is NaN, and in radix 36 positive).
double parseInt(std::string_view text, std::optional<int> radix, int swfVersion);
// The global parseFloat: leading white space, then the longest decimal number; NaN when there is none.
// As the player does, dots after the first are skipped ("1.2.3" is 1.23) and then end the number at an
// exponent, and an exponent wraps around at 32 bits.
double parseFloat(std::string_view text);

// The global escape: every byte of the UTF-8 text but ASCII letters and digits becomes %XX (upper-case hex).
std::string escape(std::string_view text);
// A name or value of the variables that loadVariables, getURL and LoadVars send as a form: as escape, but a
// space becomes '+'.
std::string escapeFormValue(std::string_view text);
// The global unescape: %XX gives that byte, '+' a space; a '%' not followed by a hex digit is dropped with
// the character after it, a '%' and one hex digit with the two characters after it (as the player drops
// malformed escapes). The bytes are then read as UTF-8, a byte that does not form a character as U+FFFD.
std::string unescape(std::string_view text);

// ECMAScript's ToInt32: the number modulo 2^32 as a signed integer, 0 for NaN and the infinities (the bitwise
// operators, int(), the array index conversions).
std::int32_t toInt32(double value);

} // namespace reelfinch::avm1
