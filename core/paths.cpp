#include "paths.h"

namespace quorvel {

namespace {

size_t lastSeparator(std::string_view path) { return path.find_last_of("\\/"); }

}  // namespace

std::string directoryPart(std::string_view path) {
  size_t at = lastSeparator(path);
  return at == std::string_view::npos ? std::string() : std::string(path.substr(0, at + 1));
}

std::string filePart(std::string_view path) {
  size_t at = lastSeparator(path);
  return std::string(at == std::string_view::npos ? path : path.substr(at + 1));
}

std::string baseName(std::string_view path) {
  std::string name = filePart(path);
  // The first character is never taken for the extension's dot.
  for (size_t i = name.size(); i-- > 1;) {
    if (name[i] == ' ') break;
    if (name[i] == '.') {
      if (i + 1 < name.size()) name.resize(i);
      break;
    }
  }
  return name;
}

std::string exportPathFor(std::string_view logPath) {
  return directoryPart(logPath) + baseName(logPath) + ".dif";
}

std::string settingsPathFor(std::string_view programPath) {
  return directoryPart(programPath) + baseName(programPath) + ".ini";
}

std::string printablePath(std::string_view path) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(path.size());
  for (char c : path) {
    auto b = static_cast<unsigned char>(c);
    if (b >= 0x20 && b != 0x7F) {
      out += c;
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\t') {
      out += "\\t";
    } else {
      out += "\\x";
      out += kHex[b >> 4];
      out += kHex[b & 15];
    }
  }
  return out;
}

}  // namespace quorvel
