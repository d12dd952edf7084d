#include "utf8.h"

namespace quorvel {

namespace {

constexpr char kReplacement[] = "\xEF\xBF\xBD";

bool isContinuation(unsigned char b) { return (b & 0xC0) == 0x80; }

// Bytes a well-formed sequence starting with lead has, 0 when lead cannot start one.
int sequenceLength(unsigned char lead) {
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) return 2;
  if (lead >= 0xE0 && lead <= 0xEF) return 3;
  if (lead >= 0xF0 && lead <= 0xF4) return 4;
  return 0;
}

// The second byte's range is narrower for some leads (no overlongs, surrogates or > U+10FFFF).
bool secondByteFits(unsigned char lead, unsigned char second) {
  switch (lead) {
    case 0xE0: return second >= 0xA0 && second <= 0xBF;
    case 0xED: return second >= 0x80 && second <= 0x9F;
    case 0xF0: return second >= 0x90 && second <= 0xBF;
    case 0xF4: return second >= 0x80 && second <= 0x8F;
    default: return isContinuation(second);
  }
}

}  // namespace

void appendWellFormedUtf8(std::string& out, const char* data, size_t size) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(data);
  size_t i = 0;
  while (i < size) {
    unsigned char lead = bytes[i];
    int length = sequenceLength(lead);
    if (length == 1) {
      out += static_cast<char>(lead);
      ++i;
      continue;
    }
    if (length == 0) {
      out += kReplacement;
      ++i;
      continue;
    }
    // Take as many bytes as still fit a well-formed sequence; a shortfall is one subpart.
    size_t taken = 1;
    while (taken < static_cast<size_t>(length) && i + taken < size) {
      unsigned char next = bytes[i + taken];
      bool fits = taken == 1 ? secondByteFits(lead, next) : isContinuation(next);
      if (!fits) break;
      ++taken;
    }
    if (taken == static_cast<size_t>(length))
      out.append(data + i, taken);
    else
      out += kReplacement;
    i += taken;
  }
}

std::string latin1ToUtf8(std::string_view latin1) {
  std::string out;
  out.reserve(latin1.size());
  for (char c : latin1) {
    auto b = static_cast<unsigned char>(c);
    if (b < 0x80) {
      out += c;
    } else {
      out += static_cast<char>(0xC0 | (b >> 6));
      out += static_cast<char>(0x80 | (b & 0x3F));
    }
  }
  return out;
}

}  // namespace quorvel
