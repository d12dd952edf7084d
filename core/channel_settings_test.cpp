#include "channel_settings.h"

#include <gtest/gtest.h>

#include "../tests/test_support.h"

namespace quorvel {
namespace {

using quorvel::testing::readFile;
using quorvel::testing::TempDir;
using quorvel::testing::writeFile;

ChannelTable threeChannels() {
  ChannelTable table{};
  applyChannelDefaults(table);
  table[1] = {1, 14418139, "Lambda", "Lambda", "Lambda", "0.6", "1.5"};
  table[2] = {1, 0, "RPM", "RPM", "RPM", "0", "10000"};
  table[3] = {0, 16711680, "MAP", "MAP", "kPa", "-700", "700"};
  return table;
}

TEST(ChannelSettings, NewFileForThreeChannels) {
  TempDir dir;
  ChannelTable table = threeChannels();
  SettingsFile settings;
  loadChannelSettings(settings, dir.file("q.ini"), table, 4);
  ASSERT_TRUE(saveChannelSettings(settings, table, 4));
  const std::string expected =
      "\xEF\xBB\xBF\r\n"
      "[Channel1]\r\nEnabled = 1\r\nName = Lambda\r\nUnit = Lambda\r\nColor = 14418139\r\n\r\n"
      "[Channel2]\r\nEnabled = 1\r\nName = RPM\r\nUnit = RPM\r\nColor = 0\r\n\r\n"
      "[Channel3]\r\nEnabled = 0\r\nName = MAP\r\nUnit = kPa\r\nColor = 16711680\r\n";
  std::string written = readFile(dir.file("q.ini"));
  EXPECT_EQ(written.size(), 209u);
  EXPECT_EQ(written, expected);
}

TEST(ChannelSettings, HandMadeFileLoadsAndRewrites) {
  TempDir dir;
  writeFile(dir.file("q.ini"),
            "; channel setup\n[channel1]\nenabled=0\nname =  Lambda sensor\nExtra = 42\n\n"
            "[Channel2]\n  Color = 0x1F ; green\n");
  ChannelTable table = threeChannels();
  SettingsFile settings;
  loadChannelSettings(settings, dir.file("q.ini"), table, 3);
  EXPECT_EQ(table[1].enabled, 0);
  EXPECT_EQ(table[1].name, "Lambda sensor");
  EXPECT_EQ(table[1].unit, "Lambda");
  EXPECT_EQ(table[1].color, 14418139);
  EXPECT_EQ(table[2].enabled, 1);
  EXPECT_EQ(table[2].name, "RPM");
  EXPECT_EQ(table[2].color, 0);
  ASSERT_TRUE(saveChannelSettings(settings, table, 3));
  EXPECT_EQ(readFile(dir.file("q.ini")),
            "\xEF\xBB\xBF\r\n; channel setup\r\n[channel1]\r\nEnabled = 0\r\n"
            "Name = Lambda sensor\r\nExtra = 42\r\nUnit = Lambda\r\nColor = 14418139\r\n\r\n"
            "[Channel2]\r\nColor = 0\r\nEnabled = 1\r\nName = RPM\r\nUnit = RPM\r\n");
}

TEST(ChannelSettings, EmptyValuesAndTrimming) {
  TempDir dir;
  writeFile(dir.file("q.ini"), "[Channel1]\nEnabled =\nName =\nUnit =   padded unit  \n");
  ChannelTable table = threeChannels();
  SettingsFile settings;
  loadChannelSettings(settings, dir.file("q.ini"), table, 3);
  EXPECT_EQ(table[1].enabled, 0);        // an empty number reads as 0, not the default
  EXPECT_EQ(table[1].name, "");          // an empty text is a value, not the default
  EXPECT_EQ(table[1].unit, "padded unit");
  EXPECT_EQ(table[1].color, 14418139);   // missing key: the table's value stays
  EXPECT_EQ(table[2].name, "RPM");       // missing group: likewise
}

TEST(ChannelSettings, WiderEarlierLogsGroupsSurvive) {
  TempDir dir;
  writeFile(dir.file("q.ini"), "[Channel1]\nName=A\n[Channel5]\nName = Five\nColor=7\n");
  ChannelTable table = threeChannels();
  SettingsFile settings;
  loadChannelSettings(settings, dir.file("q.ini"), table, 2);
  ASSERT_TRUE(saveChannelSettings(settings, table, 2));
  EXPECT_EQ(readFile(dir.file("q.ini")),
            "\xEF\xBB\xBF\r\n[Channel1]\r\nName = A\r\nEnabled = 1\r\nUnit = Lambda\r\n"
            "Color = 14418139\r\n\r\n[Channel5]\r\nName = Five\r\nColor = 7\r\n");
}

TEST(ChannelSettings, NoChannelsNeitherCreatesNorChangesTheFile) {
  for (int fieldCount : {0, 1}) {
    TempDir dir;
    ChannelTable table = threeChannels();
    SettingsFile absent;
    loadChannelSettings(absent, dir.file("none.ini"), table, fieldCount);
    saveChannelSettings(absent, table, fieldCount);
    EXPECT_FALSE(std::filesystem::exists(dir.file("none.ini")));

    writeFile(dir.file("q.ini"), "[Channel1]\nName=A\n");
    SettingsFile present;
    loadChannelSettings(present, dir.file("q.ini"), table, fieldCount);
    saveChannelSettings(present, table, fieldCount);
    EXPECT_EQ(readFile(dir.file("q.ini")), "[Channel1]\nName=A\n");
  }
}

}  // namespace
}  // namespace quorvel
