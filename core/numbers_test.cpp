#include "numbers.h"

#include <gtest/gtest.h>

#include <limits>

namespace quorvel {
namespace {

TEST(ParseInteger, DecimalHexBinaryAndWrapping) {
  const std::pair<const char*, int64_t> cases[] = {
      {"10000", 10000}, {"-700", -700}, {"1.5", 1}, {"9.99", 9}, {"", 0}, {"Volt", 0},
      {"$1F", 31}, {"$ff", 255}, {"%101", 5}, {"%102", 2}, {" 12abc", 12}, {"\t+7", 7},
      {"-$10", -16}, {"+-5", 0}, {"--5", 0}, {"$", 0}, {"- 5", 0},
      {"9223372036854775807", std::numeric_limits<int64_t>::max()},
      {"9223372036854775808", std::numeric_limits<int64_t>::min()},  // wraps modulo 2^64
      {"18446744073709551617", 1},
      {"$FFFFFFFFFFFFFFFF", -1},
  };
  for (const auto& [text, value] : cases) EXPECT_EQ(parseInteger(text), value) << text;
}

TEST(ParseTimeOfDay, StrictHoursMinutesSeconds) {
  const std::pair<const char*, int32_t> cases[] = {
      {"12:34:56", 45296}, {"9:05:07", 32707}, {"00:00:00", 0}, {"23:59:59", 86399},
      {"1:2:3", 3723},     {"24:00:00", -1},   {"12:34", -1},   {"12:34:56.", -1},
      {"123:45:00", -1},   {"12:60:00", -1},   {"12:00:60", -1}, {"", -1},
      {"a:b:c", -1},       {" 1:02:03", -1},   {"1:02:03,", -1},
  };
  for (const auto& [text, seconds] : cases) EXPECT_EQ(parseTimeOfDay(text), seconds) << text;
}

TEST(ParseTimeValueMs, FractionIsPaddedToMilliseconds) {
  const std::pair<const char*, int32_t> cases[] = {
      {"12:34:56.789", 45296789}, {"12:34:56.7", 45296700}, {"12:34:56.25", 45296250},
      {"12:34:56.1239", 45296123}, {"12:34:56", 45296000},  {"0:00:00.001", 1},
      {"12:34:56.", -1},           {"12:34:56.7a", -1},     {"12:34:56.-1", -1},
      {"A:B", -1},                 {"12:34", -1},           {"25:00:00.000", -1},
      // The twelve-character form, read in one go, and its near misses.
      {"23:59:59.999", 86399999},  {"00:00:00.000", 0},     {"24:00:00.000", -1},
      {"12:60:00.000", -1},        {"12:00:60.000", -1},    {"1a:34:56.789", -1},
      {"12:34:56.78x", -1},        {"12:34:56,789", -1},    {"12-34:56.789", -1},
      {"1:234:56.789", -1},        {"12:3:456.789", -1},
  };
  for (const auto& [text, ms] : cases) EXPECT_EQ(parseTimeValueMs(text), ms) << text;
}

TEST(NumberText, IntegersAndThreeDecimalSeconds) {
  const std::pair<int64_t, const char*> seconds[] = {
      {0, "0.000"}, {1234, "1.234"}, {-250, "-0.250"}, {3600000, "3600.000"},
      {5, "0.005"}, {-86399750, "-86399.750"}, {60005, "60.005"},
  };
  for (const auto& [ms, text] : seconds) {
    std::string out;
    appendSecondsFromMs(out, ms);
    EXPECT_EQ(out, text) << ms;
  }
  const std::pair<int64_t, const char*> integers[] = {
      {0, "0"}, {-1, "-1"}, {16711680, "16711680"}, {std::numeric_limits<int64_t>::min(), "-9223372036854775808"},
  };
  for (const auto& [value, text] : integers) {
    std::string out;
    appendInteger(out, value);
    EXPECT_EQ(out, text);
  }
}

}  // namespace
}  // namespace quorvel
