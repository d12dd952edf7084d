// A small model of the conversion, written for the fuzz target and independent of the
// program's code: slow and plain, so that it is easy to see it is right. It gives the lines of
// a log (ASCII logs only), the header after the "AFR" rule, and the cells of each data tuple.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace model {

inline bool isAscii(const std::string& bytes) {
  for (char c : bytes)
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  return true;
}

// The used lines of an ASCII log: split at CR LF, LF, CR and NUL; the file's last line dropped.
inline std::vector<std::string> lines(const std::string& bytes) {
  std::vector<std::string> result;
  std::string line;
  size_t i = 0;
  while (i < bytes.size()) {
    char c = bytes[i++];
    if (c == '\r' || c == '\n' || c == '\0') {
      if (c == '\r' && i < bytes.size() && bytes[i] == '\n') ++i;
      result.push_back(line);
      line.clear();
    } else {
      line += c;
    }
  }
  // Whatever was read last is the last line; when the bytes end with a line end, that line was
  // pushed already and is the one dropped.
  if (i == bytes.size() && !bytes.empty()) {
    char last = bytes.back();
    if (last == '\r' || last == '\n' || last == '\0') {
      result.pop_back();
    }
  }
  return result;
}

inline int count(const std::string& text, const std::string& what) {
  int n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size()))
    ++n;
  return n;
}

// The header after the "AFR" rule: exactly two "AFR" make the first one "Lambda".
inline std::string afrRule(std::string header) {
  if (count(header, "AFR") == 2) header = header.substr(0, header.find("AFR")) + "Lambda" +
                                          header.substr(header.find("AFR") + 3);
  return header;
}

inline std::vector<std::string> split(const std::string& text, const std::string& separator) {
  std::vector<std::string> parts;
  size_t begin = 0;
  for (;;) {
    size_t at = text.find(separator, begin);
    if (at == std::string::npos) {
      parts.push_back(text.substr(begin));
      return parts;
    }
    parts.push_back(text.substr(begin, at - begin));
    begin = at + separator.size();
  }
}

inline bool digit(char c) { return c >= '0' && c <= '9'; }

// "h:m:s" (one or two digits each, h < 24, m and s < 60), then optionally "." and digits of
// which the first three are milliseconds: milliseconds since midnight, or -1.
inline int64_t timeMs(const std::string& text) {
  size_t i = 0;
  int64_t parts[3];
  for (int p = 0; p < 3; ++p) {
    if (p > 0) {
      if (i >= text.size() || text[i] != ':') return -1;
      ++i;
    }
    size_t start = i;
    int64_t value = 0;
    while (i < text.size() && i - start < 2 && digit(text[i])) value = value * 10 + (text[i++] - '0');
    if (i == start) return -1;
    parts[p] = value;
  }
  if (parts[0] > 23 || parts[1] > 59 || parts[2] > 59) return -1;
  int64_t ms = ((parts[0] * 60 + parts[1]) * 60 + parts[2]) * 1000;
  if (i == text.size()) return ms;
  if (text[i] != '.' || i + 1 == text.size()) return -1;
  std::string fraction = text.substr(i + 1);
  for (char c : fraction)
    if (!digit(c)) return -1;
  fraction += "000";
  return ms + std::stoll(fraction.substr(0, 3));
}

inline std::string seconds(int64_t ms) {
  char text[48];
  int64_t magnitude = ms < 0 ? -ms : ms;
  std::snprintf(text, sizeof text, "%s%lld.%03lld", ms < 0 ? "-" : "",
                static_cast<long long>(magnitude / 1000), static_cast<long long>(magnitude % 1000));
  return text;
}

// The start time: field 1 of the first row that holds a time there; 0 when none does.
inline int64_t startMs(const std::vector<std::string>& rows) {
  for (const std::string& row : rows) {
    int64_t ms = timeMs(split(row, ",")[0]);
    if (ms >= 0) return ms;
  }
  return 0;
}

// The value lines of one data tuple: field n of the row for each exported field number, a
// field with a ":" that reads as a time as seconds since the start.
inline std::vector<std::string> cells(const std::string& row, const std::vector<int>& fieldNumbers,
                                      int64_t start) {
  std::vector<std::string> fields = split(row, ",");
  std::vector<std::string> out;
  for (int n : fieldNumbers) {
    std::string value = n <= static_cast<int>(fields.size()) ? fields[n - 1] : "";
    int64_t ms = value.find(':') == std::string::npos ? -1 : timeMs(value);
    out.push_back("0," + (ms >= 0 ? seconds(ms - start) : value));
  }
  return out;
}

}  // namespace model
