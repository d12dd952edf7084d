// UTF-8 helpers shared by the log reader and the settings file.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace quorvel {

// Appends bytes to out as well-formed UTF-8: each maximal ill-formed subpart becomes U+FFFD.
void appendWellFormedUtf8(std::string& out, const char* data, size_t size);

// Gives the ISO 8859-1 text as UTF-8 (each byte is the code point of the same number).
std::string latin1ToUtf8(std::string_view latin1);

}  // namespace quorvel
