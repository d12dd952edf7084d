#include "channel_table.h"

#include <gtest/gtest.h>

namespace quorvel {
namespace {

TEST(ChannelDefaults, FillEntriesZeroToEightExactly) {
  ChannelTable table{};
  applyChannelDefaults(table);

  EXPECT_EQ(table[0].enabled, 1);
  EXPECT_EQ(table[0].name, "Time");
  EXPECT_EQ(table[0].unit, "sec");
  EXPECT_EQ(table[0].color, 0);
  EXPECT_EQ(table[0].label, "");
  EXPECT_EQ(table[0].rangeLow, "");
  EXPECT_EQ(table[0].rangeHigh, "");

  struct Expected {
    int32_t color;
    const char* unit;
    const char* low;
    const char* high;
  };
  const Expected expected[] = {
      {14418139, "Lambda", "0.6", "1.5"}, {0, "RPM", "0", "10000"},
      {16711680, "kPa", "-700", "700"},   {1432319, "degC", "200", "1200"},
      {8426159, "%", "0", "100"},         {15775686, "Volt", "0", "5"},
      {16744448, "Volt", "0", "5"},       {65280, "AFR", "10", "20"},
  };
  for (int k = 1; k <= 8; ++k) {
    SCOPED_TRACE(k);
    EXPECT_EQ(table[k].enabled, 1);
    EXPECT_EQ(table[k].color, expected[k - 1].color);
    EXPECT_EQ(table[k].unit, expected[k - 1].unit);
    EXPECT_EQ(table[k].rangeLow, expected[k - 1].low);
    EXPECT_EQ(table[k].rangeHigh, expected[k - 1].high);
    EXPECT_EQ(table[k].name, "");
  }
  EXPECT_EQ(table[9].enabled, 0);
  EXPECT_EQ(table[9].unit, "");
}

TEST(ChannelDefaults, ResetKeepsNamesLabelsAndChannelNine) {
  ChannelTable table{};
  for (ChannelSettings& channel : table) {
    channel.enabled = 0;
    channel.color = 77;
    channel.name = "kept name";
    channel.label = "kept label";
    channel.unit = "u";
    channel.rangeLow = "lo";
    channel.rangeHigh = "hi";
  }
  applyChannelDefaults(table);
  for (int k = 0; k < kChannelTableSize; ++k) {
    SCOPED_TRACE(k);
    EXPECT_EQ(table[k].label, "kept label");
    if (k > 0) {
      EXPECT_EQ(table[k].name, "kept name");
    }
  }
  EXPECT_EQ(table[0].name, "Time");
  EXPECT_EQ(table[0].color, 77);
  EXPECT_EQ(table[0].rangeHigh, "hi");
  EXPECT_EQ(table[3].unit, "kPa");
  EXPECT_EQ(table[3].enabled, 1);
  // Channel 9 has no defaults and keeps everything.
  EXPECT_EQ(table[9].enabled, 0);
  EXPECT_EQ(table[9].color, 77);
  EXPECT_EQ(table[9].unit, "u");
  EXPECT_EQ(table[9].rangeLow, "lo");
}

TEST(DeriveLabel, ReplacesSpacesAndDropsHyphensOnly) {
  const std::pair<std::string, std::string> cases[] = {
      {"Oil - Temp", "Oil__Temp"},
      {"O2-Sensor 1", "O2Sensor_1"},
      {"RPM", "RPM"},
      {"", ""},
      {"a\tb", "a\tb"},                              // tabs stay
      {"x\xE2\x80\x93y", "x\xE2\x80\x93y"},          // an en dash is no hyphen
      {"--  --", "__"},
  };
  for (const auto& [name, label] : cases) EXPECT_EQ(deriveLabel(name), label) << name;
}

TEST(DeriveLabels, CoversEntriesInUseOnly) {
  ChannelTable table{};
  table[0].name = "Time";
  table[1].name = "Oil - Temp";
  table[2].name = "Not used";
  deriveLabels(table, 2);
  EXPECT_EQ(table[0].label, "Time");
  EXPECT_EQ(table[1].label, "Oil__Temp");
  EXPECT_EQ(table[2].label, "");
}

TEST(ChannelTable, LastChannelCoversTheLogsChannelsWithinTheTable) {
  const std::pair<int32_t, int> cases[] = {{-5, 0}, {0, 0}, {1, 0},  {2, 1},
                                           {4, 3},  {10, 9}, {11, 9}, {1000, 9}};
  for (const auto& [fieldCount, last] : cases) EXPECT_EQ(lastChannel(fieldCount), last) << fieldCount;
}

}  // namespace
}  // namespace quorvel
