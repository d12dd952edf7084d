#include "conversion.h"

#include <gtest/gtest.h>

#include <fstream>
#include <vector>

#include "channel_settings.h"
#include "file_system.h"
#include "../tests/test_support.h"

namespace quorvel {
namespace {

using quorvel::testing::readFile;
using quorvel::testing::repeated;
using quorvel::testing::TempDir;
using quorvel::testing::writeFile;

// A fresh program state for the log at path, with the built-in channel defaults.
ProgramState stateFor(const std::string& path) {
  ProgramState state;
  applyChannelDefaults(state.channelTable);
  state.logPath = path;
  return state;
}

// Tuning that reads every log while writing it, however small.
ConversionTuning streamingAlways() {
  ConversionTuning tuning;
  tuning.streamFrom = 0;
  return tuning;
}

// What a conversion wrote and reported.
struct Converted {
  ConversionFailure failure = ConversionFailure::kNone;
  std::string err;
  std::string bytes;
  std::vector<int32_t> progress;
  size_t lastExpected = 0;
};

// The window's way: the log read whole, then exported from memory, with channel 2 turned off
// where the log has one (a change made after the header is known).
Converted readThenExport(const std::string& log) {
  ProgramState state = stateFor(log);
  Converted result;
  if (!readLogFile(state, &result.err)) {
    result.failure = ConversionFailure::kLog;
    return result;
  }
  if (state.log.fieldCount > 2) state.channelTable[2].enabled = 0;
  if (!exportLog(state, [&](int32_t rows) { result.progress.push_back(rows); }, &result.err))
    result.failure = ConversionFailure::kExport;
  result.bytes = readFile(state.exportPath);
  return result;
}

// The converter's way, with the same change made by prepare.
Converted convert(const std::string& log, const ConversionTuning& tuning) {
  ProgramState state = stateFor(log);
  Converted result;
  auto prepare = [](ProgramState& read, std::string*) {
    if (read.log.fieldCount > 2) read.channelTable[2].enabled = 0;
    return true;
  };
  result.failure = convertLogFile(
      state, prepare,
      [&](int32_t rows, size_t expected) {
        result.progress.push_back(rows);
        result.lastExpected = expected;
      },
      &result.err, tuning);
  if (result.failure == ConversionFailure::kNone) result.bytes = readFile(state.exportPath);
  return result;
}

struct LogCase {
  const char* what;
  std::string text;
};

std::vector<LogCase> logCases() {
  const std::string h = "\"Time\",\"AFR\",\"RPM\",\"AFR\"\n";
  std::string mixed = h;
  for (int i = 0; i < 700; ++i) {
    mixed += "12:" + std::to_string(10 + i % 50) + ":00." + std::to_string(i % 1000) + "," +
             std::to_string(i) + ",11:59:59.9,x" + (i % 3 == 0 ? "\r\n" : i % 3 == 1 ? "\n" : "\r");
    if (i % 97 == 0) mixed += "\n";            // an empty row
    if (i % 301 == 0) mixed += "1:2:3,a:b\n";  // fewer fields, a ":" that is no time
    if (i % 211 == 0) mixed += "\xE9\xB0,\xC3\xA9,ok" + std::string(1, '\0');
  }
  std::string late = h;  // no time in the first rows
  late += repeated("x,1,2,3\n", 300);
  for (int i = 0; i < 300; ++i) late += "13:00:0" + std::to_string(i % 10) + ".5,1,2,3\n";
  std::string timeless = h;
  for (int i = 0; i < 500; ++i) timeless += std::to_string(i) + ",a:b,,\n";
  // 987 rows need a VECTORS number of three digits, 988 of four.
  auto rows = [&](int count) {
    std::string text = "junk before the header\n" + h;
    for (int i = 0; i < count; ++i) text += "12:00:00.000,0.98,3500,14.1\n";
    return text + "last line, never used";
  };
  std::string giant = h + "12:00:00.000," + std::string(70000, '7') + ",12:00:00." +
                      std::string(60000, '5') + ",z\n" + "12:00:01.000,1,2,3\nend\n";
  return {
      {"empty file", ""},
      {"no header", "no header here\n1,2\n3,4\n"},
      {"only a header", h},
      {"header and one line", h + "12:00:00.000,1,2,3\n"},
      {"mixed rows and line ends", mixed},
      {"start time after rows without one", late},
      {"no time anywhere", timeless},
      {"987 rows", rows(987)},
      {"988 rows", rows(988)},
      {"giant fields", giant},
      {"ten fields", quorvel::testing::logHeader(10) + "12:00:00.000,1,2,3,4,5,6,7,8,9\nz"},
  };
}

// Reading while writing gives the bytes and progress of reading first, however the log is cut
// into blocks and runs and however many threads format it.
TEST(ConvertLogFile, SameBytesAsReadingWholeThenExporting) {
  std::vector<ConversionTuning> tunings;
  for (size_t readBlock : {1, 7, 4096}) {
    for (size_t runRows : {1, 3, 1000}) {
      ConversionTuning tuning = streamingAlways();
      tuning.stream.readBlock = readBlock;
      tuning.stream.countBlock = readBlock == 1 ? 5 : readBlock * 3;
      tuning.stream.runRows = runRows;
      tuning.stream.runBytes = runRows == 3 ? 64 : 1 << 20;
      tuning.stream.runsAhead = runRows == 1 ? 1 : 16;
      tuning.rows.threads = runRows == 1 ? 1 : runRows == 3 ? 2 : 3;
      tunings.push_back(tuning);
    }
  }
  tunings.push_back(ConversionTuning{});  // small logs are read whole first
  for (const LogCase& c : logCases()) {
    TempDir dir;
    writeFile(dir.file("log.csv"), c.text);
    const Converted expected = readThenExport(dir.file("log.csv"));
    ASSERT_EQ(expected.failure, ConversionFailure::kNone) << c.what << ": " << expected.err;
    for (size_t t = 0; t < tunings.size(); ++t) {
      SCOPED_TRACE(std::string(c.what) + ", tuning " + std::to_string(t));
      std::filesystem::remove(dir.file("log.dif"));
      const Converted got = convert(dir.file("log.csv"), tunings[t]);
      ASSERT_EQ(got.failure, ConversionFailure::kNone) << got.err;
      EXPECT_TRUE(got.bytes == expected.bytes);
      EXPECT_EQ(got.progress, expected.progress);
      ASSERT_FALSE(expected.progress.empty());
      EXPECT_EQ(got.lastExpected, static_cast<size_t>(expected.progress.back()));
      EXPECT_EQ(dir.entries(), (std::vector<std::string>{"log.csv", "log.dif"}));
    }
  }
}

// prepare sees the header's names before anything is written, and may stop the conversion.
TEST(ConvertLogFile, PrepareSeesTheHeaderAndMayRefuse) {
  for (uint64_t streamFrom : {uint64_t{0}, uint64_t{1} << 30}) {
    TempDir dir;
    writeFile(dir.file("log.csv"), "junk\n\"Time\",\"A\",\"B\"\n12:00:00.000,1,2\nz\n");
    ProgramState state = stateFor(dir.file("log.csv"));
    ConversionTuning tuning;
    tuning.streamFrom = streamFrom;
    std::string err;
    auto refuse = [](ProgramState& read, std::string* reason) {
      EXPECT_EQ(read.log.fieldCount, 3);
      EXPECT_EQ(read.channelTable[2].name, "B");
      *reason = "refused";
      return false;
    };
    EXPECT_EQ(convertLogFile(state, refuse, nullptr, &err, tuning), ConversionFailure::kPrepare);
    EXPECT_EQ(err, "refused");
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"log.csv"});
  }
}

TEST(ConvertLogFile, FailuresSayWhichStep) {
  TempDir dir;
  ProgramState state;
  state.logPath = dir.file("absent.csv");
  std::string err;
  EXPECT_EQ(convertLogFile(state, nullptr, nullptr, &err), ConversionFailure::kLog);
  EXPECT_EQ(err, "not found");

  // The export would replace the log itself.
  writeFile(dir.file("log.csv"), "\"Time\"\n1\nz\n");
  ProgramState self = stateFor(dir.file("log.csv"));
  auto ontoTheLog = [](ProgramState& read, std::string*) {
    read.exportPath = read.logPath;
    return true;
  };
  EXPECT_EQ(convertLogFile(self, ontoTheLog, nullptr, &err, streamingAlways()),
            ConversionFailure::kExport);
  EXPECT_EQ(err, "the export would replace the log itself");
  EXPECT_EQ(readFile(dir.file("log.csv")), "\"Time\"\n1\nz\n");
}

#ifndef _WIN32  // POSIX only: ALogThatGrowsWhileReadIsReadAgain
// The log grows after its lines were counted (another program appending to it, which a POSIX
// advisory lock does not stop; Windows holds the log unshared, so none can): the rows read then need a longer VECTORS number than the
// count gave, and the log is read again.
TEST(ConvertLogFile, ALogThatGrowsWhileReadIsReadAgain) {
  TempDir dir;
  // The header comes late, so that the lines are counted long before prepare runs.
  std::string text(1 << 20, '\n');
  text += "\"Time\",\"A\"\n";
  text += repeated("12:00:00.000,1\n", 50);
  writeFile(dir.file("log.csv"), text);
  const std::string more = repeated("12:00:01.000,2\n", 2000);
  ProgramState state = stateFor(dir.file("log.csv"));
  ConversionTuning tuning = streamingAlways();
  tuning.stream.readBlock = 64;
  tuning.stream.countBlock = 4 << 20;
  // The rows are held back (a run of one row ahead at most) until prepare has returned.
  tuning.stream.runRows = 1;
  tuning.stream.runsAhead = 1;
  auto append = [&](ProgramState&, std::string*) {
    std::ofstream(dir.file("log.csv"), std::ios::binary | std::ios::app) << more;
    return true;
  };
  std::string err;
  ASSERT_EQ(convertLogFile(state, append, nullptr, &err, tuning), ConversionFailure::kNone) << err;
  const std::string bytes = readFile(dir.file("log.dif"));
  EXPECT_NE(bytes.find("VECTORS\r\n0,2061\r\n"), std::string::npos);
  EXPECT_TRUE(bytes == readThenExport(dir.file("log.csv")).bytes);
  EXPECT_EQ(dir.entries(), (std::vector<std::string>{"log.csv", "log.dif"}));
}
#endif

#ifndef _WIN32  // POSIX only: AFailingWriteLeavesNothingBehind
TEST(ConvertLogFile, AFailingWriteLeavesNothingBehind) {
  TempDir dir;
  const std::string text = "\"T\",\"A\"\n" + repeated("12:00:00.000,1.5\n", 20000);
  writeFile(dir.file("log.csv"), text);
  writeFile(dir.file("log.dif"), "earlier export");
  for (int threads : {1, 3}) {
    int failedAsExpected = quorvel::testing::runWithFileSizeLimit(text.size() + 4096, [&] {
      ProgramState state = stateFor(dir.file("log.csv"));
      ConversionTuning tuning = streamingAlways();
      tuning.stream.runRows = 100;
      tuning.rows.threads = threads;
      std::string err;
      ConversionFailure failure = convertLogFile(state, nullptr, nullptr, &err, tuning);
      return failure == ConversionFailure::kExport &&
                     err == "cannot write the export: the file is too large"
                 ? 0
                 : 1;
    });
    EXPECT_EQ(failedAsExpected, 0) << threads;
    EXPECT_EQ(readFile(dir.file("log.dif")), "earlier export");
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"log.csv", "log.dif"}));
  }
}
#endif

}  // namespace
}  // namespace quorvel
