#include "file_system.h"
#include "log_reader.h"

#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/file.h>
#endif

#ifndef _WIN32
#include <fcntl.h>
#endif

#include "../tests/test_support.h"

namespace quorvel {
namespace {

using quorvel::testing::readFile;
using quorvel::testing::TempDir;
using quorvel::testing::writeFile;

#ifndef _WIN32  // POSIX only: FailuresComeWithTheirReason
TEST(OpenLog, FailuresComeWithTheirReason) {
  TempDir dir;
  InputFile file;
  std::string err;
  EXPECT_FALSE(openLog(dir.file("missing.csv"), &file, &err));
  EXPECT_EQ(err, "not found");
  EXPECT_FALSE(openLog(dir.path(), &file, &err));
  EXPECT_EQ(err, "is a folder");
  writeFile(dir.file("plain"), "x");
  EXPECT_FALSE(openLog(dir.file("plain/log.csv"), &file, &err));
  EXPECT_EQ(err, "a part of the path is not a folder");
}
#endif

#ifndef _WIN32  // POSIX only: ALogHeldByAnotherProgramIsRefused
TEST(OpenLog, ALogHeldByAnotherProgramIsRefused) {
  TempDir dir;
  std::string path = dir.file("log.csv");
  writeFile(path, "\"T\"\n");
  int other = ::open(path.c_str(), O_RDONLY);
  ASSERT_GE(other, 0);
  ASSERT_EQ(::flock(other, LOCK_EX | LOCK_NB), 0);
  InputFile file;
  std::string err;
  EXPECT_FALSE(openLog(path, &file, &err));
  EXPECT_EQ(err, "held by another program");
  ::close(other);
  EXPECT_TRUE(openLog(path, &file, &err)) << err;
}
#endif

#ifndef _WIN32  // POSIX only: AFailingWriteLeavesTheOldFileWhole
TEST(ReplaceFile, AFailingWriteLeavesTheOldFileWhole) {
  TempDir dir;
  std::string path = dir.file("s.ini");
  writeFile(path, "old content\n");
  int failedAsExpected = quorvel::testing::runWithFileSizeLimit(4096, [&] {
    std::string err;
    bool ok = replaceFile(path, std::string(100000, 'n'), &err);
    return !ok && err == "the file is too large" ? 0 : 1;
  });
  EXPECT_EQ(failedAsExpected, 0);
  EXPECT_EQ(readFile(path), "old content\n");
  EXPECT_EQ(dir.entries(), std::vector<std::string>{"s.ini"});  // no temporary left behind
}
#endif

TEST(ReplaceFile, ReplacesWholeAndLeavesNoTemporary) {
  TempDir dir;
  std::string path = dir.file("f");
  writeFile(path, std::string(5000, 'x'));
  std::string err;
  ASSERT_TRUE(replaceFile(path, "short", &err)) << err;
  EXPECT_EQ(readFile(path), "short");
  EXPECT_EQ(dir.entries(), std::vector<std::string>{"f"});
}

TEST(ReplaceFile, MissingFolderIsReported) {
  TempDir dir;
  std::string err;
  EXPECT_FALSE(replaceFile(dir.file("gone/f"), "x", &err));
  EXPECT_EQ(err, "not found");
}

#ifndef _WIN32  // POSIX only: ALogTruncatedOrDeletedWhileHeldReadsWhatIsThere
TEST(OpenLog, ALogTruncatedOrDeletedWhileHeldReadsWhatIsThere) {
  TempDir dir;
  std::string path = dir.file("log.csv");
  std::string content = "\"T\",\"A\"\n" + std::string(3 << 20, 'x') + "\n1,2\nz\n";
  writeFile(path, content);

  InputFile truncated;
  std::string err;
  ASSERT_TRUE(openLog(path, &truncated, &err)) << err;
  std::string block(1 << 20, '\0');
  size_t got = 0;
  ASSERT_TRUE(truncated.read(block.data(), block.size(), &got, &err));
  EXPECT_EQ(got, block.size());
  std::filesystem::resize_file(path, 100);  // another program cuts it short meanwhile
  ASSERT_TRUE(truncated.read(block.data(), block.size(), &got, &err));
  EXPECT_EQ(got, 0u);
  truncated.close();

  writeFile(path, content);
  InputFile deleted;
  ASSERT_TRUE(openLog(path, &deleted, &err)) << err;
  std::filesystem::remove(path);
  LogData log;
  ChannelTable table{};
  ASSERT_TRUE(readLog(deleted, log, table, &err)) << err;
  EXPECT_EQ(log.dataRows.size(), 2u);
  EXPECT_EQ(log.dataRows[1], "1,2");
}
#endif

#ifndef _WIN32  // POSIX only: AFolderThatVanishesFailsTheCommit
TEST(AtomicOutputFile, AFolderThatVanishesFailsTheCommit) {
  TempDir dir;
  std::string folder = dir.file("out");
  std::filesystem::create_directory(folder);
  AtomicOutputFile file;
  std::string err;
  ASSERT_TRUE(file.create(folder + "/log.dif", &err)) << err;
  ASSERT_TRUE(file.write("data", 4, &err)) << err;
  std::filesystem::remove_all(folder);
  EXPECT_FALSE(file.commit(&err));
  EXPECT_EQ(err, "not found");
  EXPECT_TRUE(dir.entries().empty());
}
#endif

#ifndef _WIN32  // POSIX only: SameFileThroughALink
TEST(FileSystem, SameFileThroughALink) {
  TempDir dir;
  writeFile(dir.file("a"), "x");
  std::filesystem::create_symlink("a", dir.file("b"));
  EXPECT_TRUE(isSameFile(dir.file("a"), dir.file("b")));
  EXPECT_FALSE(isSameFile(dir.file("a"), dir.file("missing")));
}
#endif

#ifndef _WIN32  // POSIX only: ProgramPathIsThisTestBinary
TEST(FileSystem, ProgramPathIsThisTestBinary) {
  std::string path, err;
  ASSERT_TRUE(programPath(&path, &err)) << err;
  EXPECT_NE(path.find("quorvel_core_tests"), std::string::npos) << path;
}
#endif

#ifdef _WIN32
// The Windows twins: share modes instead of locks, and the .exe's own path.
TEST(OpenLog, WindowsLogOpenElsewhereIsRefused) {
  TempDir dir;
  std::string path = dir.file("log.csv");
  writeFile(path, "\"T\"\n");
  InputFile first, second;
  std::string err;
  ASSERT_TRUE(openLog(path, &first, &err)) << err;
  EXPECT_FALSE(openLog(path, &second, &err));
  EXPECT_EQ(err, "held by another program");
  EXPECT_FALSE(openLog(dir.file("missing.csv"), &second, &err));
  EXPECT_EQ(err, "not found");
  EXPECT_FALSE(openLog(dir.path(), &second, &err));
  EXPECT_EQ(err, "is a folder");
}

TEST(FileSystem, WindowsProgramPathAndUnicodeNames) {
  std::string path, err;
  ASSERT_TRUE(programPath(&path, &err)) << err;
  EXPECT_NE(path.find("quorvel_core_tests.exe"), std::string::npos) << path;
  TempDir dir;
  std::string name = dir.file("caf\xC3\xA9 \xE2\x82\xAC.ini");
  ASSERT_TRUE(replaceFile(name, "x", &err)) << err;
  EXPECT_TRUE(pathExists(name));
  EXPECT_FALSE(pathExists(dir.file("cafe.ini")));
}
#endif

}  // namespace
}  // namespace quorvel
