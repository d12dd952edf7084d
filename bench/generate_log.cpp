#include "generate_log.h"

#include <cstdio>
#include <string>

#include "numbers.h"

namespace quorvel {

bool generateLog(const std::string& path, int64_t rows) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) return false;
  std::string text =
      "ZT-2 data log\r\n"
      "\"Time\",\"AFR\",\"RPM\",\"MAP\",\"EGT\",\"TPS\",\"Batt\",\"Sensor\",\"AFR\",\"Oil - Temp\"\r\n";
  uint32_t state = 12345;
  auto next = [&state](uint32_t range) {
    state = state * 1664525u + 1013904223u;
    return (state >> 8) % range;
  };
  for (int64_t i = 0; i <= rows; ++i) {
    int64_t ms = 8 * 3600000 + i * 10;  // 100 rows a second from 08:00
    int64_t s = ms / 1000;
    char time[32];
    std::snprintf(time, sizeof time, "%02d:%02d:%02d.%03d", static_cast<int>(s / 3600 % 24),
                  static_cast<int>(s / 60 % 60), static_cast<int>(s % 60),
                  static_cast<int>(ms % 1000));
    text += time;
    uint32_t lambda = 850 + next(300);  // 0.850 to 1.149
    text += ',';
    appendInteger(text, lambda / 1000);
    text += '.';
    char thousandths[4] = {static_cast<char>('0' + lambda / 100 % 10),
                           static_cast<char>('0' + lambda / 10 % 10),
                           static_cast<char>('0' + lambda % 10), '\0'};
    text += thousandths;
    text += ',';
    appendInteger(text, 800 + next(6000));
    text += ",-";
    appendInteger(text, next(700));
    text += ',';
    appendInteger(text, 200 + next(900));
    text += ',';
    appendInteger(text, next(100));
    text += ",12.";
    appendInteger(text, next(9));
    text += ",4.";
    appendInteger(text, next(99));
    text += ",14.";
    appendInteger(text, next(9));
    text += ',';
    appendInteger(text, 60 + next(60));
    text += "\r\n";
    if (text.size() > (1 << 20)) {
      std::fwrite(text.data(), 1, text.size(), file);
      text.clear();
    }
  }
  std::fwrite(text.data(), 1, text.size(), file);
  return std::fclose(file) == 0;
}

}  // namespace quorvel
