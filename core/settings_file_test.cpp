#include "settings_file.h"

#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#endif
#ifndef _WIN32
#include <sys/wait.h>
#endif
#ifndef _WIN32
#include <unistd.h>
#endif

#include "../tests/test_support.h"

namespace quorvel {
namespace {

using quorvel::testing::readFile;
using quorvel::testing::TempDir;
using quorvel::testing::writeFile;

const std::string kMark = "\xEF\xBB\xBF";

// Opens content as a settings file, lets edit change it, closes it and gives the file after.
std::string rewrite(const std::string& content, const std::function<void(SettingsFile&)>& edit) {
  TempDir dir;
  std::string path = dir.file("s.ini");
  writeFile(path, content);
  SettingsFile settings;
  settings.open(path);
  edit(settings);
  EXPECT_TRUE(settings.close());
  return readFile(path);
}

TEST(SettingsFile, ReadsTheLineKinds) {
  TempDir dir;
  writeFile(dir.file("s.ini"),
            "top = 1\n"
            "[g1]\r\n"
            "  key\t =  \tvalue with = and ; inside \t\r\r\n"
            "\t; a comment\n"
            "   \t  \n"
            "bare key  \n"
            "[g 2 ]trailing\n"
            "[open group\n"
            "k=v");
  SettingsFile settings;
  ASSERT_TRUE(settings.open(dir.file("s.ini")));
  ASSERT_TRUE(settings.selectGroup("G1"));
  // The stored value keeps its trailing blanks; readText trims them.
  EXPECT_EQ(settings.entries()[2].value, "value with = and ; inside \t");
  EXPECT_EQ(settings.readText("KEY", "d"), "value with = and ; inside");
  EXPECT_EQ(settings.readText("bare key", "d"), "");
  EXPECT_EQ(settings.readText("a comment", "d"), "d");
  EXPECT_EQ(settings.readText("top", "d"), "d");  // keys before any group belong to none
  EXPECT_TRUE(settings.selectGroup("g 2 "));
  EXPECT_FALSE(settings.selectGroup("g 2"));      // group names are not trimmed
  EXPECT_TRUE(settings.selectGroup("open group"));
  EXPECT_EQ(settings.readText("k", "d"), "v");
  EXPECT_EQ(settings.entries()[3].text, "a comment");
}

TEST(SettingsFile, ReadIntegerRules) {
  const std::pair<const char*, int32_t> cases[] = {
      {"", 0},           {"0x1F", 0},        {"12abc", 12},      {" \t-5", -5},
      {"+7", 7},         {"- 7", 0},         {"abc", 0},
      {"2147483647", 2147483647},             {"99999999999", 2147483647},
      {"-2147483648", -2147483647 - 1},       {"-99999999999", -2147483647 - 1},
  };
  for (const auto& [value, expected] : cases) {
    TempDir dir;
    writeFile(dir.file("s.ini"), std::string("[g]\nk = ") + value + "\n");
    SettingsFile settings;
    settings.open(dir.file("s.ini"));
    settings.selectGroup("g");
    EXPECT_EQ(settings.readInteger("k", 99), expected) << value;
    EXPECT_EQ(settings.readInteger("missing", 99), 99);
  }
}

TEST(SettingsFile, MissingGroupReadsDefaultsAndFirstWriteCreatesIt) {
  std::string after = rewrite("[a]\nx = 1\n", [](SettingsFile& s) {
    EXPECT_FALSE(s.selectGroup("b"));
    EXPECT_EQ(s.readText("x", "default"), "default");
    s.writeText("y", "2");
    s.writeInteger("z", -3);
  });
  EXPECT_EQ(after, kMark + "\r\n[a]\r\nx = 1\r\n\r\n[b]\r\ny = 2\r\nz = -3\r\n");
}

TEST(SettingsFile, OnlyTheFirstGroupAndKeyOfANameAreUsed) {
  std::string after = rewrite("[g]\nk = 1\nK = 2\n[G]\nk = 3\n", [](SettingsFile& s) {
    s.selectGroup("g");
    EXPECT_EQ(s.readInteger("k", 0), 1);
    s.writeInteger("k", 9);
    s.writeText("new", "n");
  });
  EXPECT_EQ(after, kMark + "\r\n[g]\r\nk = 9\r\nK = 2\r\nnew = n\r\n\r\n[G]\r\nk = 3\r\n");
}

TEST(SettingsFile, RewriteLayout) {
  // Comments get "; ", a line without "=" gets " = ", empty lines and spacing go, order stays.
  std::string after = rewrite(";no space\n;  two spaces\nkeyless\n\n\n[x]\n  a=1\n", [](SettingsFile& s) {
    s.selectGroup("x");
    s.writeText("A", "1");
  });
  EXPECT_EQ(after, kMark + "\r\n; no space\r\n;  two spaces\r\nkeyless = \r\n[x]\r\nA = 1\r\n");
}

TEST(SettingsFile, Encodings) {
  struct Case {
    const char* what;
    std::string before;
    std::string name;   // what readText gives for [g] n
    std::string after;  // the rewrite after writing [g] w = 1
  };
  const Case cases[] = {
      {"ISO 8859-1 without the mark", "[g]\nn = Caf\xE9\n", "Caf\xC3\xA9",
       kMark + "\r\n[g]\r\nn = Caf\xC3\xA9\r\nw = 1\r\n"},
      {"UTF-8 after the mark", kMark + "[g]\nn = Caf\xC3\xA9\n", "Caf\xC3\xA9",
       kMark + "\r\n[g]\r\nn = Caf\xC3\xA9\r\nw = 1\r\n"},
      {"UTF-8 without the mark is read byte by byte", "[g]\nn = \xC3\xA9\n", "\xC3\x83\xC2\xA9",
       kMark + "\r\n[g]\r\nn = \xC3\x83\xC2\xA9\r\nw = 1\r\n"},
      {"invalid UTF-8 after the mark", kMark + "[g]\nn = a\xFF" "b\n", "a\xEF\xBF\xBD" "b",
       kMark + "\r\n[g]\r\nn = a\xEF\xBF\xBD" "b\r\nw = 1\r\n"},
      {"a NUL is an ordinary character", kMark + "[g]\nn = a" + std::string(1, '\0') + "b\n",
       "a" + std::string(1, '\0') + "b",
       kMark + "\r\n[g]\r\nn = a" + std::string(1, '\0') + "b\r\nw = 1\r\n"},
      {"zero bytes: no mark", "", "", "[g]\r\nw = 1\r\n"},
      {"only the mark: mark kept", kMark, "", kMark + "\r\n[g]\r\nw = 1\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string after = rewrite(c.before, [&](SettingsFile& s) {
      s.selectGroup("g");
      EXPECT_EQ(s.readText("n", ""), c.name);
      s.writeInteger("w", 1);
    });
    EXPECT_EQ(after, c.after);
  }
}

TEST(SettingsFile, NothingWrittenWithoutAWrite) {
  TempDir dir;
  std::string content = "[g]\nk=1\n\n";
  writeFile(dir.file("s.ini"), content);
  SettingsFile settings;
  settings.open(dir.file("s.ini"));
  settings.selectGroup("g");
  settings.readInteger("k", 0);
  EXPECT_TRUE(settings.close());
  EXPECT_EQ(readFile(dir.file("s.ini")), content);

  SettingsFile absent;
  absent.open(dir.file("none.ini"));
  EXPECT_TRUE(absent.close());
  EXPECT_FALSE(std::filesystem::exists(dir.file("none.ini")));
}

TEST(SettingsFile, AbsentFileIsCreatedWithTheMark) {
  TempDir dir;
  SettingsFile settings;
  EXPECT_FALSE(settings.open(dir.file("new.ini")));
  EXPECT_EQ(settings.hold(), SettingsHold::kAbsent);
  settings.selectGroup("g");
  settings.writeText("k", "v");
  EXPECT_TRUE(settings.close());
  EXPECT_EQ(readFile(dir.file("new.ini")), kMark + "\r\n[g]\r\nk = v\r\n");
}

// A value is one line in the file, whatever it is given.
TEST(SettingsFile, ValuesNeverBreakTheirLine) {
  SettingsFile settings;
  settings.load("");
  settings.selectGroup("Channel1");
  settings.writeText("Name", "Oil\nTemp");
  settings.writeText("Unit", std::string("a\r\nb\0c", 6));
  settings.writeText("Name", "again\r");
  EXPECT_EQ(settings.render(), "[Channel1]\r\nName = again \r\nUnit = a  b c\r\n");
}

// The folder of a settings file that does not exist yet (a per-user folder on first use) is
// made only by a save that writes something.
TEST(SettingsFile, MissingFoldersAreMadeOnlyWhenSaving) {
  TempDir dir;
  const std::string path = dir.file("config/quorvel/quorvel.ini");
  SettingsFile unchanged;
  EXPECT_FALSE(unchanged.open(path));
  EXPECT_TRUE(unchanged.close());
  EXPECT_TRUE(dir.entries().empty());

  SettingsFile saved;
  EXPECT_FALSE(saved.open(path));
  saved.selectGroup("Channel1");
  saved.writeInteger("Enabled", 1);
  std::string err;
  EXPECT_TRUE(saved.close(&err)) << err;
  EXPECT_EQ(readFile(path), kMark + "\r\n[Channel1]\r\nEnabled = 1\r\n");
}

TEST(SettingsFile, ReadOnlyOpenNeverWrites) {
  TempDir dir;
  writeFile(dir.file("s.ini"), "[g]\nk=1\n");
  SettingsFile settings;
  ASSERT_TRUE(settings.open(dir.file("s.ini"), /*forWriting=*/false));
  settings.selectGroup("g");
  settings.writeText("k", "2");
  settings.close();
  EXPECT_EQ(readFile(dir.file("s.ini")), "[g]\nk=1\n");

  SettingsFile absent;
  absent.open(dir.file("none.ini"), /*forWriting=*/false);
  absent.selectGroup("g");
  absent.writeText("k", "2");
  absent.close();
  EXPECT_FALSE(std::filesystem::exists(dir.file("none.ini")));
}

TEST(SettingsFile, SecondCopyWhileHeldLoadsReadOnlyAndDoesNotSave) {
  TempDir dir;
  std::string path = dir.file("s.ini");
  writeFile(path, "[g]\nk = first\n");
  SettingsFile first, second;
  first.open(path);
  EXPECT_EQ(first.hold(), SettingsHold::kReadWrite);
  ASSERT_TRUE(second.open(path));
  EXPECT_EQ(second.hold(), SettingsHold::kReadOnly);
  second.selectGroup("g");
  EXPECT_EQ(second.readText("k", ""), "first");
  second.writeText("k", "second");
  second.close();
  EXPECT_EQ(readFile(path), "[g]\nk = first\n");
  first.selectGroup("g");
  first.writeText("k", "mine");
  EXPECT_TRUE(first.close());
  EXPECT_EQ(readFile(path), kMark + "\r\n[g]\r\nk = mine\r\n");
}

#ifndef _WIN32  // POSIX only: AFailingRewriteLeavesTheFileWhole
TEST(SettingsFile, AFailingRewriteLeavesTheFileWhole) {
  TempDir dir;
  std::string path = dir.file("s.ini");
  const std::string before = "[g]\nk=1\n";
  writeFile(path, before);
  int failedAsExpected = quorvel::testing::runWithFileSizeLimit(1024, [&] {
    SettingsFile settings;
    settings.open(path);
    settings.selectGroup("g");
    settings.writeText("k", std::string(4096, 'v'));  // more than the file may grow to
    std::string err;
    return !settings.close(&err) && err == "the file is too large" ? 0 : 1;
  });
  EXPECT_EQ(failedAsExpected, 0);
  EXPECT_EQ(readFile(path), before);
  EXPECT_EQ(dir.entries(), std::vector<std::string>{"s.ini"});
}
#endif

#ifndef _WIN32  // POSIX only: ACopyInAnotherProcessHoldsTheFile
TEST(SettingsFile, ACopyInAnotherProcessHoldsTheFile) {
  TempDir dir;
  std::string path = dir.file("s.ini");
  writeFile(path, "[g]\nk = first\n");
  int ready[2], done[2];
  ASSERT_EQ(::pipe(ready), 0);
  ASSERT_EQ(::pipe(done), 0);
  pid_t child = ::fork();
  if (child == 0) {
    SettingsFile first;
    first.open(path);
    char byte = first.hold() == SettingsHold::kReadWrite ? 'y' : 'n';
    (void)!::write(ready[1], &byte, 1);
    (void)!::read(done[0], &byte, 1);  // hold the file until the parent is finished
    ::_exit(0);
  }
  char byte = 0;
  ASSERT_EQ(::read(ready[0], &byte, 1), 1);
  EXPECT_EQ(byte, 'y');
  SettingsFile second;
  second.open(path);
  EXPECT_EQ(second.hold(), SettingsHold::kReadOnly);
  EXPECT_EQ(second.openError(), "held by another program");
  second.selectGroup("g");
  second.writeText("k", "second");
  second.close();
  (void)!::write(done[1], "x", 1);
  ::waitpid(child, nullptr, 0);
  EXPECT_EQ(readFile(path), "[g]\nk = first\n");
}
#endif

TEST(SettingsFile, UnreadableFileIsNeverReplaced) {
  TempDir dir;
  std::string path = dir.file("s.ini");
  std::filesystem::create_directory(path);
  writeFile(path + "/inside", "keep");
  SettingsFile settings;
  EXPECT_FALSE(settings.open(path));
  EXPECT_EQ(settings.hold(), SettingsHold::kUnreadable);
  EXPECT_EQ(settings.openError(), "is a folder");
  settings.selectGroup("g");
  settings.writeText("k", "v");
  settings.close();
  EXPECT_TRUE(std::filesystem::is_directory(path));
  EXPECT_EQ(readFile(path + "/inside"), "keep");
}

#ifndef _WIN32  // POSIX only: LinkKeptTargetRewrittenModeKept
TEST(SettingsFile, LinkKeptTargetRewrittenModeKept) {
  TempDir dir;
  std::filesystem::create_directory(dir.file("real"));
  std::string target = dir.file("real/s.ini");
  writeFile(target, "[g]\nk=1\n");
  ::chmod(target.c_str(), 0640);
  std::filesystem::create_symlink("real/s.ini", dir.file("link.ini"));
  SettingsFile settings;
  settings.open(dir.file("link.ini"));
  settings.selectGroup("g");
  settings.writeText("k", "2");
  EXPECT_TRUE(settings.close());
  EXPECT_TRUE(std::filesystem::is_symlink(dir.file("link.ini")));
  EXPECT_EQ(readFile(target), kMark + "\r\n[g]\r\nk = 2\r\n");
  struct stat info;
  ASSERT_EQ(::stat(target.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0640u);
  EXPECT_EQ(dir.entries(), (std::vector<std::string>{"link.ini", "real"}));
}
#endif

}  // namespace
}  // namespace quorvel
