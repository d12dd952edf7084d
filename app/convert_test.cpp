// End-to-end tests of the quorvel-convert program: the built binary on fixture files.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>

#include <cstdlib>

#include "../tests/test_support.h"

namespace quorvel {
namespace {

using quorvel::testing::readFile;
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
  std::string log = "\"Time\",\"A\"\n";
  for (int i = 0; i < 50000; ++i) log += "12:00:00.000,0.98\n";
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

}  // namespace
}  // namespace quorvel
