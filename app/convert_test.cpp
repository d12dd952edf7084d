// End-to-end tests of the quorvel-convert program: the built binary on fixture files.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>

#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "file_system.h"

#include "../tests/test_support.h"

namespace quorvel {
namespace {

using quorvel::testing::readFile;
using quorvel::testing::repeated;
using quorvel::testing::TempDir;
using quorvel::testing::writeFile;

const std::string kConvert = QUORVEL_CONVERT_PATH;
const std::string kData = QUORVEL_TEST_DATA;

std::string shellQuoted(const std::string& text) {
  std::string out = "'";
  for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

struct ProgramRun {
  int exitCode;
  std::string out;
  std::string err;
};

// Runs a shell command line (prefix, program, arguments) and collects its output.
ProgramRun runConvert(const std::vector<std::string>& args, const std::string& program = kConvert,
               const std::string& prefix = "") {
  TempDir outputs;
  std::string command = prefix + shellQuoted(program);
  for (const std::string& arg : args) command += " " + shellQuoted(arg);
  command += " >" + outputs.file("out") + " 2>" + outputs.file("err") + " </dev/null";
  int status = std::system(("sh -c " + shellQuoted(command)).c_str());
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, readFile(outputs.file("out")),
          readFile(outputs.file("err"))};
}

std::string expectedExport() { return readFile(kData + "/three_channels.dif"); }

// A private copy of the fixture log: the converter holds its log exclusively, so tests that
// run at the same time must not share one.
std::string copyOfLog(const TempDir& dir) {
  std::string path = dir.file("three_channels.csv");
  std::filesystem::copy_file(kData + "/three_channels.csv", path);
  return path;
}

TEST(ConvertProgram, WritesWhatTheLayoutPrescribes) {
  TempDir dir;
  ProgramRun run = runConvert({"--settings", kData + "/three_channels.ini", "-o", dir.file("out/sub"),
                               copyOfLog(dir)});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.err, "");  // not a terminal: no progress output
  EXPECT_EQ(readFile(dir.file("out/sub/three_channels.dif")), expectedExport());
}

TEST(ConvertProgram, DefaultSettingsFileBesideTheProgramAndBesideTheLog) {
  TempDir dir;
  std::filesystem::copy_file(kConvert, dir.file("quorvel-convert"));
  std::filesystem::permissions(dir.file("quorvel-convert"), std::filesystem::perms::owner_all);
  std::filesystem::copy_file(kData + "/three_channels.ini", dir.file("quorvel.ini"));
  std::filesystem::copy_file(kData + "/three_channels.csv", dir.file("log.csv"));
  ProgramRun run = runConvert({dir.file("log.csv")}, dir.file("quorvel-convert"));
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(readFile(dir.file("log.dif")), expectedExport());

  ProgramRun plain = runConvert({"--no-settings", "-o", dir.file("plain"), dir.file("log.csv")},
                         dir.file("quorvel-convert"));
  EXPECT_EQ(plain.exitCode, 0) << plain.err;
  std::string bytes = readFile(dir.file("plain/log.dif"));
  EXPECT_NE(bytes.find("TUPLES\r\n0,4\r\n"), std::string::npos);  // channel 2 back in use
}

TEST(ConvertProgram, ReadsTheSettingsWhileTheWindowHoldsThem) {
  TempDir dir;
  std::filesystem::copy_file(kData + "/three_channels.ini", dir.file("q.ini"));
  int held = ::open(dir.file("q.ini").c_str(), O_RDWR);
  ASSERT_EQ(::flock(held, LOCK_EX | LOCK_NB), 0);
  ProgramRun run = runConvert({"--settings", dir.file("q.ini"), "-o", dir.file("out"),
                               copyOfLog(dir)});
  ::close(held);
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(readFile(dir.file("out/three_channels.dif")), expectedExport());
}

TEST(ConvertProgram, FailuresAreReportedAndTheRestConverted) {
  TempDir dir;
  std::filesystem::create_directory(dir.file("a"));
  std::filesystem::create_directory(dir.file("b"));
  std::filesystem::copy_file(kData + "/three_channels.csv", dir.file("a/run.csv"));
  std::filesystem::copy_file(kData + "/three_channels.csv", dir.file("b/run.csv"));
  ProgramRun run = runConvert({"-q", "--settings", kData + "/three_channels.ini", "-o", dir.file("out"),
                        dir.file("missing.csv"), dir.file("a/run.csv"), dir.file("b/run.csv")});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.err.find("quorvel-convert: " + dir.file("missing.csv") + ": not found\n"),
            std::string::npos)
      << run.err;
  EXPECT_NE(run.err.find("quorvel-convert: " + dir.file("b/run.csv") + ": its export"),
            std::string::npos)
      << run.err;
  EXPECT_EQ(readFile(dir.file("out/run.dif")), expectedExport());
}

TEST(ConvertProgram, FullDiskLeavesNoPartialExport) {
  TempDir dir;
  const std::string log = "\"Time\",\"A\"\n" + repeated("12:00:00.000,0.98\n", 50000);
  writeFile(dir.file("big.csv"), log);
  writeFile(dir.file("big.dif"), "earlier export");
  // Files may not grow beyond 64 KiB: the export's writes fail as on a full disk.
  ProgramRun run = runConvert({dir.file("big.csv")}, kConvert, "trap '' XFSZ; ulimit -f 64; exec ");
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.err, "quorvel-convert: " + dir.file("big.dif") +
                         ": cannot write the export: the file is too large\n");
  EXPECT_EQ(readFile(dir.file("big.dif")), "earlier export");
  EXPECT_EQ(dir.entries(), (std::vector<std::string>{"big.csv", "big.dif"}));
}

// Logs of extreme shape convert without a crash and with the layout's counts.
TEST(ConvertProgram, ExtremeShapes) {
  TempDir dir;
  const std::string longLine(100 << 20, 'x');
  writeFile(dir.file("long_line.csv"), "\"Time\",\"A\"\n" + longLine + ",1\nend\n");
  std::string emptyLines = "\"Time\"\n";
  emptyLines.append(10000000, '\n');
  writeFile(dir.file("empty_lines.csv"), emptyLines + "end\n");
  std::string wide = "\"Time\"";
  for (int i = 1; i < 1000; ++i) wide += ",\"C" + std::to_string(i) + "\"";
  writeFile(dir.file("wide.csv"), wide + "\n12:00:00.000,1,2,3,4,5,6,7,8,9,10,11\nend\n");

  ProgramRun run = runConvert({"--no-settings", "-o", dir.file("out"), dir.file("long_line.csv"),
                               dir.file("empty_lines.csv"), dir.file("wide.csv")});
  ASSERT_EQ(run.exitCode, 0) << run.err;

  std::string longExport = readFile(dir.file("out/long_line.dif"));
  EXPECT_NE(longExport.find("\r\n0," + longLine + "\r\nV\r\n0,1\r\nV\r\n-1,0\r\nEOD\r\n"),
            std::string::npos);
  std::string emptyExport = readFile(dir.file("out/empty_lines.dif"));
  EXPECT_NE(emptyExport.find("VECTORS\r\n0,10000012\r\n"), std::string::npos);
  std::string wideExport = readFile(dir.file("out/wide.dif"));
  // Channels 1 to 8 are in use by default; channel 9 is not, and field 11 on is no channel.
  EXPECT_NE(wideExport.find("TUPLES\r\n0,9\r\n"), std::string::npos);
  EXPECT_NE(wideExport.find("\"C8 (AFR)\"\r\n-1,0\r\nBOT"), std::string::npos);
  EXPECT_EQ(wideExport.find("\"C9"), std::string::npos);
}

TEST(ConvertProgram, UsageAndSettingsErrors) {
  TempDir dir;
  EXPECT_EQ(runConvert({}).exitCode, 2);
  EXPECT_EQ(runConvert({"--bogus", "x.csv"}).exitCode, 2);

  ProgramRun help = runConvert({"--help"});
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_EQ(help.out.rfind("Usage: quorvel-convert [OPTIONS] LOG...", 0), 0u);
  // The README shows the same text, word for word.
  EXPECT_NE(readFile(QUORVEL_SOURCE_DIR "/README.md").find(help.out), std::string::npos)
      << "README.md must hold the output of --help";

  // An explicit settings file that exists but cannot be read stops before any conversion.
  std::filesystem::create_directory(dir.file("folder.ini"));
  std::filesystem::copy_file(kData + "/three_channels.csv", dir.file("log.csv"));
  ProgramRun unreadable = runConvert({"--settings", dir.file("folder.ini"), dir.file("log.csv")});
  EXPECT_EQ(unreadable.exitCode, 2);
  EXPECT_EQ(unreadable.err, "quorvel-convert: " + dir.file("folder.ini") + ": is a folder\n");
  EXPECT_FALSE(std::filesystem::exists(dir.file("log.dif")));

  // An output folder that cannot be created.
  writeFile(dir.file("file"), "x");
  ProgramRun blocked = runConvert({"-o", dir.file("file/out"), dir.file("log.csv")});
  EXPECT_EQ(blocked.exitCode, 1);
  EXPECT_NE(blocked.err.find(dir.file("file/out") + ": cannot create the folder"), std::string::npos)
      << blocked.err;
}

// The same destination spelled in different ways is one file: the second export is refused.
TEST(ConvertProgram, OneDestinationHoweverItIsSpelled) {
  TempDir dir;
  std::filesystem::create_directory(dir.file("x"));
  std::filesystem::create_directory_symlink("x", dir.file("link"));
  const std::string log = readFile(kData + "/three_channels.csv");
  writeFile(dir.file("x/run.csv"), log);
  writeFile(dir.file("x/run.log"), log);
  const struct {
    const char* first;
    std::string second;
  } cases[] = {{"x/run.csv", "./x/run.log"},
               {"x/run.csv", dir.file("x/run.log")},
               {"x/run.csv", "link/run.log"},
               {"x/run.csv", "x/../x/run.log"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.second);
    std::filesystem::remove(dir.file("x/run.dif"));
    ProgramRun run = runConvert({"-q", "--no-settings", c.first, c.second}, kConvert,
                                "cd " + shellQuoted(dir.path()) + " && exec ");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("was already written by this run from another log"),
              std::string::npos)
        << run.err;
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"link", "x"}));
  }
}

// A log named in the run is never replaced by another log's export, in either order; an export
// that failed is not taken as written.
TEST(ConvertProgram, ALogOfTheRunIsNeverAnExportsDestination) {
  TempDir dir;
  const std::string log = readFile(kData + "/three_channels.csv");
  for (const auto& order : {std::vector<std::string>{"a.csv", "a.dif"},
                            std::vector<std::string>{"a.dif", "a.csv"}}) {
    writeFile(dir.file("a.csv"), log);
    writeFile(dir.file("a.dif"), log);  // a log that happens to end in .dif
    std::vector<std::string> args = {"-q", "--no-settings", dir.file(order[0]),
                                     dir.file(order[1])};
    ProgramRun run = runConvert(args);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(readFile(dir.file("a.dif")), log);
    EXPECT_NE(run.err.find("is a log of this run; not overwritten"), std::string::npos)
        << run.err;
    EXPECT_EQ(run.err.find("already written"), std::string::npos) << run.err;
  }
  // A failed export leaves its destination free for the next log of the run.
  std::filesystem::create_directory(dir.file("out"));
  writeFile(dir.file("bad.csv"), log);
  writeFile(dir.file("out/bad.dif"), "read-only earlier export");
  std::filesystem::permissions(dir.file("out/bad.dif"), std::filesystem::perms::owner_read);
  std::filesystem::create_directory(dir.file("again"));
  writeFile(dir.file("again/bad.csv"), log);
  ProgramRun run = runConvert({"-q", "--no-settings", "-o", dir.file("out"), dir.file("bad.csv"),
                               dir.file("again/bad.csv")});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.err, "quorvel-convert: " + dir.file("out/bad.dif") +
                         ": cannot create the export: the file is read-only\n" +
                         "quorvel-convert: " + dir.file("out/bad.dif") +
                         ": cannot create the export: the file is read-only\n");
}

TEST(ConvertProgram, OnlyRegularFilesAreRead) {
  TempDir dir;
  ASSERT_EQ(::mkfifo(dir.file("pipe.csv").c_str(), 0600), 0);
  ProgramRun logs = runConvert({"--no-settings", dir.file("pipe.csv"), "/dev/zero"});
  EXPECT_EQ(logs.exitCode, 1);
  EXPECT_EQ(logs.err, "quorvel-convert: " + dir.file("pipe.csv") + ": not a regular file\n" +
                          "quorvel-convert: /dev/zero: not a regular file\n");
  ProgramRun settings = runConvert({"--settings", "/dev/null", dir.file("pipe.csv")});
  EXPECT_EQ(settings.exitCode, 2);
  EXPECT_EQ(settings.err, "quorvel-convert: /dev/null: not a regular file\n");
}

TEST(ConvertProgram, MessagesStayOnOneLine) {
  TempDir dir;
  ProgramRun run = runConvert({"-q", "--no-settings", dir.file("two\nlines.csv")});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.err, "quorvel-convert: " + dir.file("two\\nlines.csv") + ": not found\n");
}

// A time field beyond the writer's block size follows the time rule like any other.
TEST(ConvertProgram, AGiantTimeFieldIsStillATime) {
  TempDir dir;
  const std::string giant = "12:00:01.25" + std::string(600 << 10, '0');
  writeFile(dir.file("giant.csv"),
            "\"Time\",\"A\"\n12:00:00.000,1\n" + giant + ",2\nend\n");
  ProgramRun run = runConvert({"-q", "--no-settings", dir.file("giant.csv")});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  std::string bytes = readFile(dir.file("giant.dif"));
  EXPECT_NE(bytes.find("BOT\r\n0,1.250\r\nV\r\n0,2\r\nV\r\n-1,0\r\nEOD\r\n"), std::string::npos);
  EXPECT_LT(bytes.size(), 10000u);
}

#ifndef QUORVEL_SANITIZED  // the sanitizers reserve terabytes of address space
// Memory follows the log's size whatever its shape: 16 Mi empty rows fit in the log's size
// plus a little; a log larger than all the memory converts, its rows written while it is
// read; and running out is reported, never an abort, and the batch goes on.
TEST(ConvertProgram, MemoryIsBoundedByTheLogAndRunningOutIsReported) {
  TempDir dir;
  std::string empty = "\"Time\"\n";
  empty.append(16 << 20, '\n');
  writeFile(dir.file("empty.csv"), empty + "end\n");
  // Address space: 1.2 x the log plus 64 MiB for the program, its libraries and buffers.
  const long limitKiB = (16 * 12 / 10 + 64) * 1024;
  ProgramRun bounded = runConvert({"-q", "--no-settings", dir.file("empty.csv")}, kConvert,
                                  "ulimit -v " + std::to_string(limitKiB) + "; exec ");
  EXPECT_EQ(bounded.exitCode, 0) << bounded.err;
  EXPECT_NE(readFile(dir.file("empty.dif")).find("VECTORS\r\n0,16777228\r\n"),
            std::string::npos);
  std::filesystem::remove(dir.file("empty.dif"));

  // A log larger than all the memory the converter may have: its rows are written while it is
  // read, so it converts all the same.
  // (The limit leaves room for the program, its libraries and 8 MiB of stack per thread.)
  std::string wide = "\"Time\",\"A\"\n" + repeated("12:00:00.000,0.98,3500,14.1\n", 4000000);
  writeFile(dir.file("wide.csv"), wide + "end\n");
  wide.clear();
  wide.shrink_to_fit();
  const uint64_t limit = 96u << 20;
  ASSERT_GT(std::filesystem::file_size(dir.file("wide.csv")), limit);
  const std::string tight = "ulimit -v " + std::to_string(limit >> 10) + "; exec ";
  ProgramRun streamed = runConvert({"-q", "--no-settings", dir.file("wide.csv")}, kConvert, tight);
  EXPECT_EQ(streamed.exitCode, 0) << streamed.err;
  EXPECT_NE(readFile(dir.file("wide.dif")).find("VECTORS\r\n0,4000012\r\n"), std::string::npos);
  std::filesystem::remove(dir.file("wide.dif"));

  // One row larger than that memory has to be held whole: reported, and the next log converted.
  std::string giant = "\"Time\",\"A\"\n12:00:00.000,";
  giant.append(limit, '7');
  writeFile(dir.file("giant.csv"), giant + "\nend\n");
  giant.clear();
  giant.shrink_to_fit();
  writeFile(dir.file("small.csv"), readFile(kData + "/three_channels.csv"));
  ProgramRun starved = runConvert({"-q", "--no-settings", dir.file("giant.csv"),
                                   dir.file("small.csv")},
                                  kConvert, tight);
  EXPECT_EQ(starved.exitCode, 1);
  EXPECT_EQ(starved.err, "quorvel-convert: " + dir.file("giant.csv") + ": not enough memory\n");
  EXPECT_TRUE(std::filesystem::exists(dir.file("small.dif")));
  EXPECT_FALSE(std::filesystem::exists(dir.file("giant.dif")));
}
#endif

// Starts the converter on log, its output thrown away; returns its process id.
pid_t startConvert(const std::string& log) {
  std::vector<std::string> args = {kConvert, "-q", "--no-settings", log};
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t child = -1;
  posix_spawn(&child, kConvert.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  return child;
}

// Kills the converter once its temporary export exists; false when it finished first.
bool killDuringExport(const TempDir& dir, const std::string& log, int signal, int* status) {
  pid_t child = startConvert(log);
  const std::string prefix = temporaryPrefix("big.dif");
  for (;;) {
    for (const std::string& name : dir.entries()) {
      if (name.rfind(prefix, 0) == 0) {
        ::kill(child, signal);
        ::waitpid(child, status, 0);
        return true;
      }
    }
    if (::waitpid(child, status, WNOHANG) == child) return false;
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
}

// Interrupted exports leave nothing behind: SIGINT, SIGTERM and SIGHUP remove the temporary
// at once (status 128 + signal in a shell); after SIGKILL the next export removes it.
TEST(ConvertProgram, AnInterruptedExportLeavesNothingBehind) {
  TempDir dir;
  std::string log = "\"Time\",\"A\",\"B\",\"C\"\n";
  for (int i = 0; i < 1000000; ++i) log += "12:00:00.000,0.98,3500,14.1\n";
  writeFile(dir.file("big.csv"), log + "end\n");
  for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGKILL}) {
    SCOPED_TRACE(signal);
    int status = 0;
    ASSERT_TRUE(killDuringExport(dir, dir.file("big.csv"), signal, &status))
        << "the export ended before it could be interrupted";
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << status;
    if (signal == SIGKILL) {
      EXPECT_EQ(dir.entries().size(), 2u);  // the log and the killed export's temporary
      ProgramRun good = runConvert({"-q", "--no-settings", dir.file("big.csv")});
      EXPECT_EQ(good.exitCode, 0) << good.err;
      EXPECT_EQ(dir.entries(), (std::vector<std::string>{"big.csv", "big.dif"}));
    } else {
      EXPECT_EQ(dir.entries(), std::vector<std::string>{"big.csv"});
    }
  }
}

}  // namespace
}  // namespace quorvel
