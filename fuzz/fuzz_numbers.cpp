// The number rules on arbitrary text: no undefined behaviour, and times stay consistent.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "numbers.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  quorvel::parseInteger(text);
  int32_t seconds = quorvel::parseTimeOfDay(text);
  int32_t ms = quorvel::parseTimeValueMs(text);
  if (seconds < -1 || seconds >= 86400) std::abort();
  if (ms < -1 || ms >= 86400000) std::abort();
  if (seconds >= 0 && ms != seconds * 1000) std::abort();
  if (ms >= 0) {
    // Written as seconds and read back, a time gives its milliseconds again.
    std::string written;
    quorvel::appendSecondsFromMs(written, ms);
    size_t dot = written.find('.');
    if (dot == std::string::npos || written.size() - dot != 4) std::abort();
    int64_t back = quorvel::parseInteger(written.substr(0, dot)) * 1000 +
                   quorvel::parseInteger(written.substr(dot + 1));
    if (back != ms) std::abort();
  }
  // Offsets from a start time are negative as often as not: written and read back, any
  // millisecond offset of a day either way keeps its sign and value.
  if (size >= 4) {
    int32_t raw;
    std::memcpy(&raw, data, 4);
    const int64_t offset = static_cast<int64_t>(raw) % (2 * 86400000LL);
    std::string written;
    quorvel::appendSecondsFromMs(written, offset);
    size_t dot = written.find('.');
    if (dot == std::string::npos || written.size() - dot != 4) std::abort();
    if ((offset < 0) != (written[0] == '-')) std::abort();
    const int64_t whole = quorvel::parseInteger(written.substr(0, dot));
    const int64_t fraction = quorvel::parseInteger(written.substr(dot + 1));
    const int64_t back = offset < 0 ? whole * 1000 - fraction : whole * 1000 + fraction;
    if (back != offset) std::abort();
  }
  std::string integer;
  quorvel::appendInteger(integer, quorvel::parseInteger(text));
  if (quorvel::parseInteger(integer) != quorvel::parseInteger(text)) std::abort();
  return 0;
}
