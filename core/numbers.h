// Locale-free number reading and writing for the export.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace quorvel {

// Text to a 64-bit integer: blanks, one sign, then decimal digits, "$" and hexadecimal digits,
// or "%" and binary digits, up to the first other character. No digits give 0; arithmetic
// wraps modulo 2^64. "1.5" gives 1, "$1F" 31, "Volt" 0.
int64_t parseInteger(std::string_view text);

// "h:m:s" with one or two digits each (h <= 23, m and s <= 59) and nothing else, as seconds
// since midnight; -1 for any other text.
int32_t parseTimeOfDay(std::string_view text);

// A time of day as a log writes it: "h:m:s" as in parseTimeOfDay, optionally followed by "."
// and one or more digits, of which the first three are the milliseconds (".7" is 700).
// Milliseconds since midnight; -1 when the text is not such a time.
int32_t parseTimeValueMs(std::string_view text);

// Appends value in decimal ("-" for negatives, no leading zeros).
void appendInteger(std::string& out, int64_t value);

// Writes milliseconds as seconds with exactly three decimals at out, which has room for 25
// characters; returns the position after them.
char* writeSecondsFromMs(char* out, int64_t milliseconds);

// Appends milliseconds as seconds with exactly three decimals: 1234 gives "1.234", -250 gives
// "-0.250", 0 gives "0.000".
void appendSecondsFromMs(std::string& out, int64_t milliseconds);

}  // namespace quorvel
