// Colours as the channel table keeps them (0x00BBGGRR, red in the lowest byte) and as Qt does.
#pragma once

#include <QColor>
#include <cstdint>

namespace quorvel {

// The colour of a 0x00BBGGRR value; the top byte is ignored, so -1 gives white.
inline QColor toQColor(int32_t color) {
  auto value = static_cast<uint32_t>(color);
  return QColor(value & 0xFF, (value >> 8) & 0xFF, (value >> 16) & 0xFF);
}

// The 0x00BBGGRR value of a colour.
inline int32_t fromQColor(const QColor& color) {
  return static_cast<int32_t>(static_cast<uint32_t>(color.red()) |
                              static_cast<uint32_t>(color.green()) << 8 |
                              static_cast<uint32_t>(color.blue()) << 16);
}

}  // namespace quorvel
