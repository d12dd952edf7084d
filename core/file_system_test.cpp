#include "file_system.h"
#include "log_reader.h"

#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/file.h>
#endif

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "settings_file.h"

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


#ifndef _WIN32  // POSIX only: FifosAndDevicesAreRefusedWithoutWaiting
// A FIFO would block the open (or the read) forever; a device never ends.
TEST(OpenLog, FifosAndDevicesAreRefusedWithoutWaiting) {
  TempDir dir;
  std::string fifo = dir.file("pipe.csv");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  for (const std::string& path : {fifo, std::string("/dev/zero"), std::string("/dev/null")}) {
    SCOPED_TRACE(path);
    InputFile file;
    std::string err;
    EXPECT_FALSE(openLog(path, &file, &err));
    EXPECT_EQ(err, "not a regular file");
    for (bool forWriting : {true, false}) {
      err.clear();
      EXPECT_EQ(openSettingsFile(path, forWriting, &file, &err), SettingsHold::kUnreadable);
      EXPECT_EQ(err, "not a regular file");
      EXPECT_FALSE(file.isOpen());
    }
  }
}

TEST(Locks, OnlyWouldBlockMeansHeld) {
  const struct {
    int error;
    LockOutcome outcome;
  } cases[] = {{EWOULDBLOCK, LockOutcome::kHeld},      {EBADF, LockOutcome::kUnsupported},
               {ENOLCK, LockOutcome::kUnsupported},    {EOPNOTSUPP, LockOutcome::kUnsupported},
               {EINVAL, LockOutcome::kUnsupported}};
  for (const auto& c : cases) EXPECT_EQ(lockOutcomeForError(c.error), c.outcome) << c.error;
}
#endif

// The temporary's name must not grow with the destination's: a name of 255 bytes is legal.
TEST(AtomicOutputFile, LongestLegalNamesCanBeWritten) {
  TempDir dir;
  for (size_t length : {200u, 248u, 255u}) {
    std::string path = dir.file(std::string(length - 4, 'n') + ".dif");
    std::string err;
    EXPECT_TRUE(replaceFile(path, "x", &err)) << length << ": " << err;
    EXPECT_EQ(readFile(path), "x");
  }
  EXPECT_EQ(dir.entries().size(), 3u);  // no temporary left
}

TEST(AtomicOutputFile, TemporariesAreRecognisablyOurs) {
  const std::string prefix = temporaryPrefix("run 7.dif");
  EXPECT_EQ(prefix.substr(0, 9), ".quorvel-");
  EXPECT_EQ(prefix, temporaryPrefix("run 7.dif"));
  EXPECT_NE(prefix, temporaryPrefix("run 8.dif"));
  const struct {
    std::string entry;
    bool ours;
  } cases[] = {{prefix + "a1B2c3", true},
               {".run 7.dif.Xy12Zq", true},  // named by earlier versions
               {prefix + "a1B2c", false},
               {prefix + "a1B2c3d", false},
               {temporaryPrefix("run 8.dif") + "a1B2c3", false},
               {"run 7.dif", false},
               {".run 7.dif.Xy12Z", false}};
  for (const auto& c : cases) EXPECT_EQ(isTemporaryFor(c.entry, "run 7.dif"), c.ours) << c.entry;
}

// A program killed while writing leaves its temporary; the next write of the same
// destination removes it, but never one that a live writer holds.
TEST(AtomicOutputFile, StaleTemporariesGoLiveOnesStay) {
  TempDir dir;
  const std::string path = dir.file("run.dif");
  const std::string stale = dir.file(temporaryPrefix("run.dif") + "stale1");
  const std::string legacy = dir.file(".run.dif.ab12CD");
  const std::string otherDestination = dir.file(temporaryPrefix("other.dif") + "stale2");
  for (const std::string& leftover : {stale, legacy, otherDestination})
    writeFile(leftover, std::string(1000, 'x'));

  AtomicOutputFile live;
  std::string err;
  ASSERT_TRUE(live.create(path, &err)) << err;
  ASSERT_TRUE(replaceFile(path, "done", &err)) << err;
  EXPECT_FALSE(pathExists(stale));
  EXPECT_FALSE(pathExists(legacy));
  EXPECT_TRUE(pathExists(otherDestination));
  // The live writer's temporary is still there and still commits.
  EXPECT_EQ(dir.entries().size(), 3u);  // run.dif, the live temporary, the other one
  ASSERT_TRUE(live.write("live", 4, &err)) << err;
  ASSERT_TRUE(live.commit(&err)) << err;
  EXPECT_EQ(readFile(path), "live");
  EXPECT_EQ(dir.entries(), (std::vector<std::string>{temporaryPrefix("other.dif") + "stale2",
                                                     "run.dif"}));
}

// A file without write permission (on Windows: the read-only attribute) is not replaced, also
// for a user (root) who could write it.
TEST(AtomicOutputFile, AReadOnlyFileIsNotReplaced) {
  TempDir dir;
  const std::string path = dir.file("run.dif");
  writeFile(path, "earlier export");
  std::filesystem::permissions(path, std::filesystem::perms::owner_read |
                                         std::filesystem::perms::group_read |
                                         std::filesystem::perms::others_read);
  std::string err;
  EXPECT_FALSE(replaceFile(path, "new", &err));
  EXPECT_EQ(err, "the file is read-only");
  EXPECT_EQ(readFile(path), "earlier export");
  EXPECT_EQ(dir.entries(), std::vector<std::string>{"run.dif"});
  std::filesystem::permissions(path, std::filesystem::perms::owner_write,
                               std::filesystem::perm_options::add);
  EXPECT_TRUE(replaceFile(path, "new", &err)) << err;
  EXPECT_EQ(readFile(path), "new");
}

#ifndef _WIN32  // POSIX only: owners and permission bits
TEST(AtomicOutputFile, TheOwnerIsKeptWhereThatIsAllowed) {
  if (::geteuid() != 0) GTEST_SKIP() << "only root may save a file of another user";
  TempDir dir;
  const std::string path = dir.file("quorvel.ini");
  writeFile(path, "old");
  ASSERT_EQ(::chown(path.c_str(), 4321, 4322), 0);
  std::string err;
  ASSERT_TRUE(replaceFile(path, "new", &err)) << err;
  struct stat info;
  ASSERT_EQ(::stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_uid, 4321u);
  EXPECT_EQ(info.st_gid, 4322u);
}

// A settings file that may not be written (also not by root, through its mode) is read, and
// a save is reported as not done.
TEST(SettingsFileHold, AReadOnlyFileIsReadAndTheSaveReportsFailure) {
  TempDir dir;
  const std::string path = dir.file("quorvel.ini");
  writeFile(path, "[Channel1]\nName = kept\n");
  ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
  SettingsFile settings;
  EXPECT_TRUE(settings.open(path));
  EXPECT_EQ(settings.hold(), SettingsHold::kReadOnly);
  settings.selectGroup("Channel1");
  EXPECT_EQ(settings.readText("Name", ""), "kept");
  settings.writeText("Name", "changed");
  std::string err;
  EXPECT_FALSE(settings.close(&err));
  EXPECT_EQ(err, "the file is read-only");
  EXPECT_EQ(readFile(path), "[Channel1]\nName = kept\n");
}
#endif

// Two windows started while no settings file exists: the first holds the place, the second
// reads only and reports that it did not save.
TEST(SettingsFileHold, ASecondCopyDoesNotSaveOverTheFirstWhenNoFileExisted) {
  TempDir dir;
  const std::string path = dir.file("quorvel.ini");
  SettingsFile first, second;
  EXPECT_FALSE(first.open(path));
  EXPECT_EQ(first.hold(), SettingsHold::kAbsent);
  EXPECT_FALSE(second.open(path));
  EXPECT_EQ(second.hold(), SettingsHold::kReadOnly);
  EXPECT_EQ(second.openError(), "held by another program");

  first.selectGroup("Channel1");
  first.writeText("Name", "first");
  second.selectGroup("Channel1");
  second.writeText("Name", "second");
  std::string err;
  EXPECT_TRUE(first.close(&err)) << err;
  EXPECT_FALSE(second.close(&err));
  EXPECT_EQ(err, "held by another program");
  EXPECT_NE(readFile(path).find("Name = first"), std::string::npos);
  EXPECT_EQ(dir.entries(), std::vector<std::string>{"quorvel.ini"});
}

// The twins describe folder failures in the same words.
TEST(FileSystem, FolderCreationFailuresAreDescribed) {
  TempDir dir;
  writeFile(dir.file("plain"), "x");
  std::string err;
  EXPECT_FALSE(createDirectories(dir.file("plain/sub"), &err));
  EXPECT_EQ(err, "a part of the path is not a folder");
  EXPECT_EQ(describeErrorCode(std::make_error_code(std::errc::permission_denied)),
            "permission denied");
  EXPECT_EQ(describeErrorCode(std::make_error_code(std::errc::no_such_file_or_directory)),
            "not found");
}

TEST(FileSystem, IdentityIsTheFileNotItsSpelling) {
  TempDir dir;
  std::filesystem::create_directory(dir.file("x"));
  FileIdentity direct, roundabout, other;
  std::string err;
  ASSERT_TRUE(fileIdentity(dir.file("x"), &direct, &err)) << err;
  ASSERT_TRUE(fileIdentity(dir.path() + "/x/../x/.", &roundabout, &err)) << err;
  ASSERT_TRUE(fileIdentity(dir.path(), &other, &err)) << err;
  EXPECT_EQ(direct, roundabout);
  EXPECT_NE(direct, other);
  EXPECT_FALSE(fileIdentity(dir.file("missing"), &other, &err));
  EXPECT_EQ(err, "not found");
}

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
