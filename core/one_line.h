// Names, units and settings values are one line of text: a line break inside one would split
// a DIF cell or add a stray line to the settings file.
#pragma once

#include <string>
#include <string_view>

namespace quorvel {

// The text with every CR, LF and NUL turned into a space.
inline std::string oneLine(std::string_view text) {
  std::string line(text);
  for (char& c : line)
    if (c == '\r' || c == '\n' || c == '\0') c = ' ';
  return line;
}

}  // namespace quorvel
