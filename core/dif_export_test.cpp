#include "dif_export.h"

#include <gtest/gtest.h>

#include <clocale>
#include <locale>

#include "channel_settings.h"
#include "file_system.h"
#include "log_reader.h"
#include "../tests/test_support.h"

namespace quorvel {
namespace {

using quorvel::testing::readFile;
using quorvel::testing::TempDir;
using quorvel::testing::writeFile;

const std::string kData = QUORVEL_TEST_DATA;

// A log read from text, with the built-in defaults and the header's names.
struct Log {
  explicit Log(const std::string& text) {
    applyChannelDefaults(table);
    LogReader reader(data, table);
    reader.feed(text.data(), text.size());
    reader.finish();
    deriveLabels(table, data.fieldCount);
  }
  LogData data;
  ChannelTable table{};
};

// Exports the log into a fresh folder; gives the file's lines (CR LF checked and removed).
std::vector<std::string> exportLines(const Log& log, std::vector<int32_t>* progress = nullptr) {
  TempDir dir;
  std::string err;
  ProgressCallback callback;
  if (progress) callback = [progress](int32_t rows) { progress->push_back(rows); };
  EXPECT_TRUE(writeExport(dir.file("log.csv"), dir.file("log.dif"), log.table,
                          log.data.fieldCount, log.data.dataRows, callback, &err))
      << err;
  std::string bytes = readFile(dir.file("log.dif"));
  std::vector<std::string> lines;
  size_t at = 0;
  while (at < bytes.size()) {
    size_t end = bytes.find("\r\n", at);
    EXPECT_NE(end, std::string::npos) << "every line ends with CR LF";
    if (end == std::string::npos) break;
    std::string line = bytes.substr(at, end - at);
    EXPECT_EQ(line.find_first_of("\r\n"), std::string::npos);
    lines.push_back(line);
    at = end + 2;
  }
  return lines;
}

// The tuples of an export: each tuple's lines after its "-1,0" / "BOT" start.
std::vector<std::vector<std::string>> tuples(const std::vector<std::string>& lines) {
  std::vector<std::vector<std::string>> result;
  for (size_t i = 12; i + 1 < lines.size(); ++i) {
    if (lines[i] == "-1,0" && lines[i + 1] == "BOT") {
      result.emplace_back();
      ++i;
    } else if (lines[i] == "-1,0" && lines[i + 1] == "EOD") {
      break;
    } else {
      result.back().push_back(lines[i]);
    }
  }
  return result;
}

TEST(DifExport, ThreeChannelLogByteForByte) {
  ChannelTable table{};
  applyChannelDefaults(table);
  LogData log;
  InputFile file;
  std::string err;
  // A private copy: the log is held exclusively, and tests may run at the same time.
  TempDir dir;
  std::filesystem::copy_file(kData + "/three_channels.csv", dir.file("three_channels.csv"));
  ASSERT_TRUE(openLog(dir.file("three_channels.csv"), &file, &err)) << err;
  ASSERT_TRUE(readLog(file, log, table, &err)) << err;
  file.close();
  SettingsFile settings;
  loadChannelSettings(settings, kData + "/three_channels.ini", table, log.fieldCount, false);
  deriveLabels(table, log.fieldCount);
  ASSERT_TRUE(writeExport(dir.file("three_channels.csv"), dir.file("out.dif"), table,
                          log.fieldCount, log.dataRows, nullptr, &err))
      << err;
  EXPECT_EQ(readFile(dir.file("out.dif")), readFile(kData + "/three_channels.dif"));
}

TEST(DifExport, NoHeaderLine) {
  Log log("no header here\n1,2\n3,4\n");
  std::vector<int32_t> progress;
  std::vector<std::string> lines = exportLines(log, &progress);
  EXPECT_EQ(lines[4], "0,12");
  EXPECT_EQ(lines[7], "0,1");
  EXPECT_EQ(lines[8], "\"1" + std::string(96, '0') + "\"");
  auto all = tuples(lines);
  ASSERT_EQ(all.size(), 13u);
  EXPECT_EQ(all[0], (std::vector<std::string>{"1,0", "\"Input Description\""}));
  EXPECT_EQ(all[1], (std::vector<std::string>{"1,0", "\"Stochiometric:\"", "0,0.000000", "V"}));
  for (int t = 2; t < 12; ++t) EXPECT_EQ(all[t].size(), 2u) << "tuple " << t + 1;
  EXPECT_TRUE(all[12].empty());
  EXPECT_EQ(lines.back(), "EOD");
  EXPECT_EQ(progress, std::vector<int32_t>{0});
}

TEST(DifExport, SingleFieldHeaderExportsTheTimeColumnAlone) {
  Log log("\"Time\"\n12:00:00.000,5\n12:00:00.500\nlast\n");
  auto all = tuples(exportLines(log));
  ASSERT_EQ(all.size(), 15u);
  EXPECT_EQ(all[12], (std::vector<std::string>{"1,0", "\"Time(sec)\""}));
  EXPECT_EQ(all[13], (std::vector<std::string>{"0,0.000", "V"}));
  EXPECT_EQ(all[14], (std::vector<std::string>{"0,0.500", "V"}));
}

TEST(DifExport, TenFieldsAllEnabled) {
  Log log("\"T\",\"1\",\"2\",\"3\",\"4\",\"5\",\"6\",\"7\",\"8\",\"9\",\"10\"\n"
          "0,1,2,3,4,5,6,7,8,9,10\nz");
  log.table[9].enabled = 1;
  std::vector<std::string> lines = exportLines(log);
  EXPECT_EQ(lines[7], "0,10");
  EXPECT_EQ(lines[8], "\"1222222222" + std::string(87, '0') + "\"");
  auto all = tuples(lines);
  EXPECT_EQ(all[2].back(), "\"ZT-2 (Channel 1:8)\"");
  EXPECT_EQ(all[12].back(), "\"9 ()\"");  // channel 9 has no unit by default
  // The data tuple: ten cells, field 11 ignored.
  EXPECT_EQ(all[13].size(), 20u);
  EXPECT_EQ(all[13][18], "0,9");
}

TEST(DifExport, DescriptorValues) {
  Log log("\"T\",\"A\",\"B\",\"C\",\"D\",\"E\",\"F\",\"G\"\nz");
  const char* highs[] = {"1.5", "9.99", "-700", "", "10", "700", "10000"};
  const char* expected[] = {"0,1024", "0,1024", "0,1024", "0,1024", "0,4096", "0,4096", "0,4096"};
  for (int k = 1; k <= 7; ++k) log.table[k].rangeHigh = highs[k - 1];
  log.table[1].color = -1;
  log.table[2].unit = "say \"hi\"";
  log.table[3].unit = "";
  auto all = tuples(exportLines(log));
  for (int k = 1; k <= 7; ++k) {
    EXPECT_EQ(all[8][2 * k], expected[k - 1]) << highs[k - 1];
    EXPECT_EQ(all[7][2 * k], std::string("0,") + highs[k - 1]);
  }
  EXPECT_EQ(all[9][2], "0,-1");
  EXPECT_EQ(all[4][5], "\"say \"hi\"\"");   // written between the quotes unchanged
  EXPECT_EQ(all[12][7], "\"C ()\"");
}

// Whatever a label or unit holds, a text cell is one line: exportLines checks that every line
// ends with CR LF and holds no other CR or LF.
TEST(DifExport, TextCellsNeverBreakTheirLine) {
  Log log("\"T\",\"A\",\"B\"\n12:00:00.000,1,2\nz");
  log.table[1].label = "two\nlines";
  log.table[1].unit = std::string("cr\rnul\0", 7);
  log.table[2].unit = "crlf\r\n";
  auto all = tuples(exportLines(log));
  EXPECT_EQ(all[3][3], "\"two lines\"");
  EXPECT_EQ(all[4][3], "\"cr nul \"");
  EXPECT_EQ(all[4][5], "\"crlf  \"");
  EXPECT_EQ(all[12][3], "\"two lines (cr nul )\"");
}

TEST(DifExport, ColumnTitles) {
  ChannelSettings channel;
  channel.label = "Time";
  channel.unit = "sec";
  EXPECT_EQ(columnTitle(channel, true), "Time(sec)");
  EXPECT_EQ(columnTitle(channel, false), "Time (sec)");
  channel.unit = "Time";
  EXPECT_EQ(columnTitle(channel, false), "Time");
  channel.unit = "time";
  EXPECT_EQ(columnTitle(channel, false), "Time (time)");
  channel.label = channel.unit = "";
  EXPECT_EQ(columnTitle(channel, false), "");
}

TEST(DifExport, TimeValues) {
  // The start is the first row whose first field is a time; ":" fields that are no time and
  // fields in other columns are converted only when they are times.
  Log log("\"T\",\"A\"\n"
          "\n"
          "12:00:00.000,A:B\n"
          "12:00:01.25,12:00:02.5\n"
          "12:34:56.7,x\n"
          "11:59:59.900,1:2:3\n"
          "00:00:00.250,24:00:00\n"
          "1:02:03,12:00:00.\n"
          "z");
  log.table[1].unit = log.table[1].label = "A";
  auto all = tuples(exportLines(log));
  ASSERT_EQ(all.size(), 20u);
  auto cell = [&](int row, int column) { return all[12 + row][2 * column]; };
  EXPECT_EQ(cell(1, 0), "0,");
  EXPECT_EQ(cell(2, 0), "0,0.000");
  EXPECT_EQ(cell(2, 1), "0,A:B");
  EXPECT_EQ(cell(3, 0), "0,1.250");
  EXPECT_EQ(cell(3, 1), "0,2.500");
  EXPECT_EQ(cell(4, 0), "0,2096.700");
  EXPECT_EQ(cell(5, 0), "0,-0.100");
  EXPECT_EQ(cell(5, 1), "0,-39477.000");
  EXPECT_EQ(cell(6, 0), "0,-43199.750");
  EXPECT_EQ(cell(6, 1), "0,24:00:00");
  EXPECT_EQ(cell(7, 0), "0,-39477.000");
  EXPECT_EQ(cell(7, 1), "0,12:00:00.");
}

TEST(DifExport, ProgressEveryHundredRowsAndAtTheEnd) {
  for (auto [rows, expected] : std::vector<std::pair<int, std::vector<int32_t>>>{
           {250, {100, 200, 250}}, {200, {100, 200, 200}}, {99, {99}}}) {
    std::string text = "\"T\"\n";
    for (int i = 0; i <= rows; ++i) text += "1\n";
    Log log(text);
    std::vector<int32_t> progress;
    std::vector<std::string> lines = exportLines(log, &progress);
    EXPECT_EQ(progress, expected) << rows;
    EXPECT_EQ(lines[4], "0," + std::to_string(rows + 12));
  }
}

// However the rows are shared out among threads and blocks, the bytes and the progress calls
// are those of one thread writing row after row.
TEST(DifExport, SameBytesForAnyNumberOfThreads) {
  std::string text = "\"Time\",\"A\",\"B\",\"C\"\n";
  for (int i = 0; i < 1234; ++i) {
    text += "12:" + std::to_string(10 + i % 50) + ":00." + std::to_string(i % 1000) + "," +
            std::to_string(i) + ",11:59:59.9,x\n";
    if (i % 97 == 0) text += "\n";            // an empty row
    if (i % 301 == 0) text += "1:2:3,a:b\n";  // fewer fields, a ":" that is no time
  }
  text += "12:00:00.000," + std::string(700 << 10, '7') + ",12:00:00." +
          std::string(600 << 10, '5') + ",z\nend\n";  // giant fields, one of them a time
  Log log(text);
  auto exportWith = [&](RowWriterTuning tuning, std::vector<int32_t>* progress) {
    TempDir dir;
    std::string err;
    EXPECT_TRUE(writeExport(dir.file("log.csv"), dir.file("log.dif"), log.table,
                            log.data.fieldCount, log.data.dataRows,
                            [progress](int32_t rows) { progress->push_back(rows); }, &err,
                            tuning))
        << err;
    return readFile(dir.file("log.dif"));
  };
  std::vector<int32_t> expectedProgress;
  const std::string expected = exportWith({1, 1 << 30}, &expectedProgress);
  EXPECT_NE(expected.find("0," + std::string(700 << 10, '7') + "\r\nV\r\n"), std::string::npos);
  ASSERT_EQ(expectedProgress.size(), 13u);  // 1,253 rows: 12 hundreds and the end
  for (int threads : {1, 2, 3, 8}) {
    for (size_t blockRows : {1, 7, 64, 100, 1000}) {
      std::vector<int32_t> progress;
      EXPECT_TRUE(exportWith({threads, blockRows}, &progress) == expected)
          << threads << " threads, " << blockRows << " rows a block";
      EXPECT_EQ(progress, expectedProgress) << threads << " threads, " << blockRows;
    }
  }
}

TEST(DifExport, ReplacesAnEarlierLongerExport) {
  TempDir dir;
  writeFile(dir.file("log.dif"), std::string(100000, 'x'));
  Log log("\"T\"\n1\nz");
  std::string err;
  ASSERT_TRUE(writeExport(dir.file("log.csv"), dir.file("log.dif"), log.table,
                          log.data.fieldCount, log.data.dataRows, nullptr, &err));
  std::string bytes = readFile(dir.file("log.dif"));
  EXPECT_EQ(bytes.substr(0, 5), "TABLE");
  EXPECT_EQ(bytes.substr(bytes.size() - 11), "-1,0\r\nEOD\r\n");
  EXPECT_EQ(dir.entries(), std::vector<std::string>{"log.dif"});
}

// The table has ten entries: a larger field count is refused, never read past the table.
TEST(DifExport, RefusesMoreFieldsThanTheTableHolds) {
  TempDir dir;
  Log log("\"T\",\"A\"\n1,2\nz");
  std::string err;
  EXPECT_FALSE(writeExport(dir.file("log.csv"), dir.file("log.dif"), log.table, 11,
                           log.data.dataRows, nullptr, &err));
  EXPECT_EQ(err, "the log has more fields than the channel table holds");
  EXPECT_TRUE(dir.entries().empty());
  EXPECT_TRUE(writeExport(dir.file("log.csv"), dir.file("log.dif"), log.table, 10,
                          log.data.dataRows, nullptr, &err))
      << err;
}

#ifndef _WIN32  // POSIX only: NeverReplacesTheLogItself
TEST(DifExport, NeverReplacesTheLogItself) {
  TempDir dir;
  writeFile(dir.file("run.dif"), "\"T\"\n1\nz");
  std::filesystem::create_symlink("run.dif", dir.file("alias.dif"));
  Log log("\"T\"\n1\nz");
  std::string err;
  EXPECT_FALSE(writeExport(dir.file("run.dif"), dir.file("run.dif"), log.table, 1,
                           log.data.dataRows, nullptr, &err));
  EXPECT_EQ(err, "the export would replace the log itself");
  EXPECT_FALSE(writeExport(dir.file("run.dif"), dir.file("alias.dif"), log.table, 1,
                           log.data.dataRows, nullptr, &err));
  EXPECT_EQ(readFile(dir.file("run.dif")), "\"T\"\n1\nz");
}
#endif

#ifndef _WIN32  // POSIX only: FailingWriteLeavesEarlierExportUntouched
TEST(DifExport, FailingWriteLeavesEarlierExportUntouched) {
  TempDir dir;
  writeFile(dir.file("log.dif"), "earlier export");
  const std::string text = "\"T\",\"A\"\n" + quorvel::testing::repeated("12:00:00.000,1.5\n", 20000);
  Log log(text);
  // On the calling thread, and with formatting threads still busy when the write fails.
  for (RowWriterTuning tuning : {RowWriterTuning{1, 16384}, RowWriterTuning{3, 100}}) {
    int failedAsExpected = quorvel::testing::runWithFileSizeLimit(65536, [&] {
      std::string err;
      bool ok = writeExport(dir.file("log.csv"), dir.file("log.dif"), log.table, 2,
                            log.data.dataRows, nullptr, &err, tuning);
      return !ok && err == "cannot write the export: the file is too large" ? 0 : 1;
    });
    EXPECT_EQ(failedAsExpected, 0) << tuning.threads;
    EXPECT_EQ(readFile(dir.file("log.dif")), "earlier export");
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"log.dif"});
  }
}
#endif

#ifndef _WIN32  // POSIX only: DecimalCommaLocaleChangesNothing
TEST(DifExport, DecimalCommaLocaleChangesNothing) {
  Log log("\"T\",\"A\"\n12:00:00.000,0.5\n12:00:01.250,1.5\nz");
  std::vector<std::string> plain = exportLines(log);
  const char* set = std::setlocale(LC_ALL, "de_DE.UTF-8");
  ASSERT_NE(set, nullptr) << "the de_DE.UTF-8 locale is missing (make setup generates it)";
  std::locale previous = std::locale::global(std::locale("de_DE.UTF-8"));
  std::vector<std::string> german = exportLines(log);
  std::locale::global(previous);
  std::setlocale(LC_ALL, "C");
  EXPECT_EQ(german, plain);
  EXPECT_NE(std::find(german.begin(), german.end(), "0,1.250"), german.end());
}
#endif

}  // namespace
}  // namespace quorvel
