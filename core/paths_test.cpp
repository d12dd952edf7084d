#include "paths.h"

#include <gtest/gtest.h>

namespace quorvel {
namespace {

TEST(Paths, BaseNameOfFileParts) {
  const std::pair<const char*, const char*> cases[] = {
      {"run 7.csv", "run 7"},   {"trip.2024.csv", "trip.2024"}, {"log", "log"},
      {"log.", "log."},         {"data.old copy", "data.old copy"}, {".csv", ".csv"},
      {"a.b", "a"},             {"", ""},
  };
  for (const auto& [file, base] : cases) EXPECT_EQ(baseName(file), base) << file;
}

TEST(Paths, EitherSlashSeparatesFolders) {
  struct Case {
    const char* path;
    const char* directory;
    const char* file;
    const char* base;
  };
  const Case cases[] = {
      {"D:\\Logs\\run 7.csv", "D:\\Logs\\", "run 7.csv", "run 7"},
      {"/home/u/logs/trip.2024.csv", "/home/u/logs/", "trip.2024.csv", "trip.2024"},
      {"C:\\mixed/dir\\x.csv", "C:\\mixed/dir\\", "x.csv", "x"},
      {"/dir.with.dots/log", "/dir.with.dots/", "log", "log"},
      {"plain.csv", "", "plain.csv", "plain"},
      {"/ends/with/", "/ends/with/", "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(directoryPart(c.path), c.directory);
    EXPECT_EQ(filePart(c.path), c.file);
    EXPECT_EQ(baseName(c.path), c.base);
  }
}

TEST(Paths, ExportAndSettingsPaths) {
  EXPECT_EQ(exportPathFor("D:\\Logs\\run 7.csv"), "D:\\Logs\\run 7.dif");
  EXPECT_EQ(exportPathFor("/logs/trip.2024.csv"), "/logs/trip.2024.dif");
  EXPECT_EQ(exportPathFor("/logs/trip"), "/logs/trip.dif");
  EXPECT_EQ(exportPathFor("/a.b/.csv"), "/a.b/.csv.dif");
  EXPECT_EQ(settingsPathFor("C:\\Tools\\logconv.exe"), "C:\\Tools\\logconv.ini");
  EXPECT_EQ(settingsPathFor("/opt/quorvel/bin/quorvel"), "/opt/quorvel/bin/quorvel.ini");
}

TEST(Paths, PrintablePathKeepsMessagesOnOneLine) {
  const std::pair<std::string, std::string> cases[] = {
      {"run 7.csv", "run 7.csv"},
      {"a\nb.csv", "a\\nb.csv"},
      {"tab\there\r", "tab\\there\\r"},
      {std::string("nul\0x", 5), "nul\\x00x"},
      {"bell\x07\x7F", "bell\\x07\\x7F"},
      {"C:\\Logs\\caf\xC3\xA9.csv", "C:\\Logs\\caf\xC3\xA9.csv"},
  };
  for (const auto& [path, shown] : cases) EXPECT_EQ(printablePath(path), shown);
}

}  // namespace
}  // namespace quorvel
