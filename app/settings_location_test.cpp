#include "settings_location.h"

#include <gtest/gtest.h>

namespace quorvel {
namespace {

TEST(SettingsLocation, BesideTheProgramUnlessItsFolderIsReadOnly) {
  struct Case {
    const char* program;
    bool writable;
    const char* configFolder;
    const char* expected;
  };
  const Case cases[] = {
      {"/opt/q/quorvel", true, "/home/u/.config", "/opt/q/quorvel.ini"},
      {"/usr/bin/quorvel", false, "/home/u/.config", "/home/u/.config/quorvel/quorvel.ini"},
      {"/usr/bin/quorvel", false, "", "/usr/bin/quorvel.ini"},  // nowhere better to go
      {"C:\\Program Files\\Quorvel\\quorvel.exe", false, "C:\\Users\\u\\AppData\\Roaming",
       "C:\\Users\\u\\AppData\\Roaming\\quorvel\\quorvel.ini"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(chooseSettingsPath(c.program, c.writable, c.configFolder), c.expected) << c.program;
}

}  // namespace
}  // namespace quorvel
