#include "numbers.h"

#include <charconv>

namespace quorvel {

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

int digitValue(char c, int base) {
  int value = -1;
  if (c >= '0' && c <= '9')
    value = c - '0';
  else if (c >= 'a' && c <= 'f')
    value = c - 'a' + 10;
  else if (c >= 'A' && c <= 'F')
    value = c - 'A' + 10;
  return value < base ? value : -1;
}

// Reads one or two digits at text[*at]; -1 when there is none.
int readTwoDigits(std::string_view text, size_t* at) {
  int value = -1;
  for (int taken = 0; taken < 2 && *at < text.size() && isDigit(text[*at]); ++taken)
    value = (value < 0 ? 0 : value * 10) + (text[(*at)++] - '0');
  return value;
}

}  // namespace

int64_t parseInteger(std::string_view text) {
  size_t at = 0;
  while (at < text.size() && (text[at] == ' ' || text[at] == '\t')) ++at;
  bool negative = false;
  if (at < text.size() && (text[at] == '-' || text[at] == '+')) negative = text[at++] == '-';
  int base = 10;
  if (at < text.size() && text[at] == '$') {
    base = 16;
    ++at;
  } else if (at < text.size() && text[at] == '%') {
    base = 2;
    ++at;
  }
  uint64_t value = 0;  // unsigned, so that overflow wraps as defined
  for (; at < text.size(); ++at) {
    int digit = digitValue(text[at], base);
    if (digit < 0) break;
    value = value * static_cast<uint64_t>(base) + static_cast<uint64_t>(digit);
  }
  if (negative) value = 0 - value;
  return static_cast<int64_t>(value);
}

int32_t parseTimeOfDay(std::string_view text) {
  size_t at = 0;
  int parts[3];
  for (int i = 0; i < 3; ++i) {
    if (i > 0) {
      if (at >= text.size() || text[at] != ':') return -1;
      ++at;
    }
    parts[i] = readTwoDigits(text, &at);
    if (parts[i] < 0) return -1;
  }
  if (at != text.size() || parts[0] > 23 || parts[1] > 59 || parts[2] > 59) return -1;
  return parts[0] * 3600 + parts[1] * 60 + parts[2];
}

int32_t parseTimeValueMs(std::string_view text) {
  // The form a log writes nearly always, "hh:mm:ss.mmm", read in one go; any other text takes
  // the general way below, which gives the same for this form.
  if (text.size() == 12 && text[2] == ':' && text[5] == ':' && text[8] == '.') {
    const char* t = text.data();
    bool digits = true;
    for (int at : {0, 1, 3, 4, 6, 7, 9, 10, 11}) digits = digits && isDigit(t[at]);
    if (digits) {
      auto two = [t](int at) { return (t[at] - '0') * 10 + (t[at + 1] - '0'); };
      const int hours = two(0), minutes = two(3), seconds = two(6);
      if (hours > 23 || minutes > 59 || seconds > 59) return -1;
      const int milliseconds = (t[9] - '0') * 100 + (t[10] - '0') * 10 + (t[11] - '0');
      return ((hours * 60 + minutes) * 60 + seconds) * 1000 + milliseconds;
    }
  }
  size_t dot = text.find('.');
  int32_t seconds = parseTimeOfDay(text.substr(0, dot));
  if (seconds < 0) return -1;
  int32_t milliseconds = 0;
  if (dot != std::string_view::npos) {
    std::string_view fraction = text.substr(dot + 1);
    if (fraction.empty()) return -1;
    int scale = 100;
    for (char c : fraction) {
      if (!isDigit(c)) return -1;
      milliseconds += (c - '0') * scale;
      scale /= 10;
    }
  }
  return seconds * 1000 + milliseconds;
}

void appendInteger(std::string& out, int64_t value) {
  char digits[24];
  auto result = std::to_chars(digits, digits + sizeof digits, value);
  out.append(digits, static_cast<size_t>(result.ptr - digits));
}

char* writeSecondsFromMs(char* out, int64_t milliseconds) {
  uint64_t magnitude = milliseconds < 0 ? 0 - static_cast<uint64_t>(milliseconds)
                                        : static_cast<uint64_t>(milliseconds);
  if (milliseconds < 0) *out++ = '-';
  out = std::to_chars(out, out + 20, magnitude / 1000).ptr;
  unsigned fraction = static_cast<unsigned>(magnitude % 1000);
  out[0] = '.';
  out[1] = static_cast<char>('0' + fraction / 100);
  out[2] = static_cast<char>('0' + fraction / 10 % 10);
  out[3] = static_cast<char>('0' + fraction % 10);
  return out + 4;
}

void appendSecondsFromMs(std::string& out, int64_t milliseconds) {
  char text[25];
  out.append(text, static_cast<size_t>(writeSecondsFromMs(text, milliseconds) - text));
}

}  // namespace quorvel
