// Text encodings of ActionScript 1 and 2. The interpreter keeps strings as UTF-8; the language counts and
// indexes them in UTF-16 code units from SWF 6 on, and movies of SWF 5 and older hold their text in the
// system's 8-bit code page (read here as Windows-1252, whose upper half is Latin-1 but for 0x80-0x9F) and
// count in bytes. Pure functions; malformed input is replaced, never rejected.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace reelfinch::avm1 {

constexpr char32_t kReplacementCharacter = 0xFFFD;

// UTF-8 to UTF-16: a byte that does not begin a well-formed sequence (stray continuation bytes, overlong forms,
// code points past U+10FFFF, cut sequences) becomes one U+FFFD; an encoded surrogate is that code unit; code
// points past U+FFFF become surrogate pairs.
std::u16string utf8ToUtf16(std::string_view utf8);
// UTF-16 to UTF-8: surrogate pairs join; an unpaired surrogate keeps its code in three bytes, which the reading
// functions here take back as that code unit (text from outside goes through sanitizeUtf8 first, where such bytes
// are malformed).
std::string utf16ToUtf8(std::u16string_view utf16);
// The same UTF-8 text with every malformed byte (encoded surrogates too) replaced by U+FFFD: text from outside.
std::string sanitizeUtf8(std::string_view bytes);

// The language's text for the world outside it (trace lines): each half of a surrogate pair on its own becomes
// one U+FFFD.
std::string externalUtf8(std::string_view utf8);

// Appends `more` to `text`; a high surrogate half ending `text` and a low one starting `more` join into one
// character, as they do in UTF-16.
void appendJoined(std::string& text, std::string_view more);

// The length in UTF-16 code units of (sanitized) UTF-8 text: String.length from SWF 6.
std::size_t utf16Length(std::string_view utf8);
// `count` UTF-16 code units from index `start` (both clamped to the text), as UTF-8. A surrogate pair cut in
// two by the range leaves its half on its own.
std::string utf16Substring(std::string_view utf8, std::size_t start, std::size_t count);

// Bytes in the 8-bit code page of SWF 5 and older movies to UTF-8. Bytes 0x81, 0x8D, 0x8F, 0x90 and 0x9D,
// unassigned in Windows-1252, map to the C1 controls of the same value, as the system's converter does.
std::string codePageToUtf8(std::string_view bytes);
// UTF-8 to that code page; a character it lacks becomes '?'.
std::string utf8ToCodePage(std::string_view utf8);

// The language's character codes. From SWF 6 a code is a UTF-16 code unit; up to SWF 5 it is a byte of the
// code page for chr/ord and a character for the mb* actions.
//
// chr() and a single String.fromCharCode: the character of `code` (cut to 16 bits from SWF 6, to 8 bits
// before) as UTF-8; code 0 gives the empty string, a lone surrogate U+FFFD.
std::string charFromCode(std::uint32_t code, int swfVersion);
// String.fromCharCode(codes...): the characters up to the first code 0, which ends the string; from SWF 6 a
// high and a low surrogate in a row join into one character, and a half on its own stays a code unit.
std::string stringFromCharCodes(const std::uint32_t* codes, std::size_t count, int swfVersion);
// charCodeAt: the code at UTF-16 index `index` (from SWF 6; either half of a surrogate pair) or at byte
// index `index` of the code-page text (before); -1 when the index is past the end.
std::int32_t codeAt(std::string_view utf8, std::size_t index, int swfVersion);
// ord(): the code of the first character, 0 for the empty string. From SWF 6 the first UTF-16 code unit, a
// surrogate read as U+FFFD; before, the first byte of the code-page text.
std::uint32_t ordOfFirst(std::string_view utf8, int swfVersion);
// mbchr(): the character of a code cut to 16 bits; 0 gives the empty string, a surrogate U+FFFD.
std::string mbCharFromCode(std::uint32_t code);
// mbord(): the first character's code, U+FFFD for one past U+FFFF; 0 for the empty string.
std::uint32_t mbCodeOfFirst(std::string_view utf8);
// mblength() up to SWF 5: the number of characters (code points). From SWF 6 mblength counts UTF-16 code
// units, as utf16Length does.
std::size_t codePointCount(std::string_view utf8);

} // namespace reelfinch::avm1
