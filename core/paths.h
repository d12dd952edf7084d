// Path rules. "\" and "/" both separate folders, on every platform.
#pragma once

#include <string>
#include <string_view>

namespace quorvel {

// Everything up to and including the last separator; empty when there is none.
std::string directoryPart(std::string_view path);

// Everything after the last separator; the whole path when there is none.
std::string filePart(std::string_view path);

// The file part without its extension. Scanning back from the end, a space before any "."
// keeps the name whole; otherwise the name is cut before the first "." met, unless that dot is
// the last character or the first character of the file part.
std::string baseName(std::string_view path);

// The export beside the log: its folder, its base name, ".dif".
std::string exportPathFor(std::string_view logPath);

// The path as it can be shown on one line of a message: control characters (a newline in a
// file name, say) written as \n, \r, \t or \xHH; everything else unchanged.
std::string printablePath(std::string_view path);

// The settings file beside the program, named after it: its folder, its base name, ".ini".
std::string settingsPathFor(std::string_view programPath);

}  // namespace quorvel
