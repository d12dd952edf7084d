#include "log_reader.h"

#include <gtest/gtest.h>

#include <vector>

#include "file_system.h"
#include "../tests/test_support.h"

namespace quorvel {
namespace {

using quorvel::testing::TempDir;
using quorvel::testing::writeFile;

struct ReadResult {
  LogData log;
  ChannelTable table{};
  std::vector<std::string> rows;
  uint64_t countedRows = 0;  // the rows LineCounter foretells from the same bytes
};

// Reads bytes fed in blocks of chunk bytes (0: all at once).
ReadResult readBytes(const std::string& bytes, size_t chunk = 0) {
  ReadResult result;
  LogReader reader(result.log, result.table);
  LineCounter counter;
  if (chunk == 0) chunk = bytes.size() + 1;
  for (size_t at = 0; at < bytes.size(); at += chunk) {
    reader.feed(bytes.data() + at, std::min(chunk, bytes.size() - at));
    counter.feed(bytes.data() + at, std::min(chunk, bytes.size() - at));
  }
  reader.finish();
  result.countedRows = counter.lines() - reader.linesBeforeRows();
  for (size_t i = 0; i < result.log.dataRows.size(); ++i)
    result.rows.emplace_back(result.log.dataRows[i]);
  return result;
}

const std::string kReplacement = "\xEF\xBF\xBD";

struct LineCase {
  const char* what;
  std::string bytes;
  bool headerFound;
  std::vector<std::string> rows;
};

// Line ends, decoding and the last-line rule, each read whole and in blocks of every small
// size, so that a block boundary inside a line end or a character changes nothing.
TEST(LogReader, LinesAndDecodingByteByByte) {
  const std::string h = "\"T\",\"A\"";
  const LineCase cases[] = {
      {"empty file", "", false, {}},
      {"only a header", h + "\r\n", false, {}},
      {"only a header, no line end", h, false, {}},
      {"header and one data line", h + "\r\n1,2\r\n", true, {}},
      {"last line without line end", h + "\r\n1,2\r\n3,4", true, {"1,2"}},
      {"last line with line end", h + "\r\n1,2\r\n3,4\r\n", true, {"1,2"}},
      {"empty last line", h + "\n1\n2\n\n", true, {"1", "2"}},
      {"mixed line ends, LF CR is two", h + "\r1\n2\r\n3\n\r4\nend", true, {"1", "2", "3", "", "4"}},
      {"lone CR as last byte", h + "\n1\n2\r", true, {"1"}},
      {"CR CR is two line ends", h + "\r\r1\r\rx", true, {"", "1", ""}},
      {"empty lines among data", h + "\n\n1\n\n2\nz", true, {"", "1", "", "2"}},
      {"NUL ends the line", h + "\nab" + std::string(1, '\0') + "cd\nz", true, {"ab", "cd"}},
      {"NUL then LF", h + "\nab" + std::string(1, '\0') + "\nz", true, {"ab", ""}},
      {"file of NULs", std::string(5, '\0'), false, {}},
      {"stray continuation byte", h + "\na\xB0" "b\nz", true, {"a?b"}},
      {"bytes F8 to FF", h + "\n\xF8\xFF\nz", true, {"??"}},
      {"well-formed UTF-8", h + "\n\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\nz", true,
       {"\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"}},
      {"lead byte before CR LF", h + "\na\xE9\r\nb\nz", true, {"a", "b"}},
      {"two-byte lead before LF", h + "\nx\xC3\nb\nz", true, {"x", "b"}},
      {"lead byte before NUL", h + "\nx\xF0\x9F" + std::string(1, '\0') + "y\nz", true, {"x", "y"}},
      {"lead with ASCII after it", h + "\n\xE9" "AB\nz", true, {kReplacement + "AB"}},
      {"overlong C0 80", h + "\n\xC0\x80\nz", true, {kReplacement + kReplacement}},
      {"surrogate ED A0 80", h + "\n\xED\xA0\x80\nz", true,
       {kReplacement + kReplacement + kReplacement}},
      {"cut four-byte sequence", h + "\n\xF0\x9F\x98" "A\nz", true, {kReplacement + "A"}},
      {"byte-order mark hides a first-line header",
       "\xEF\xBB\xBF" + h + "\nx\n\"H\",\"B\"\n1\nz", true, {"1"}},
      {"quoted data line is data", h + "\n\"Q\",\"R\"\nz", true, {"\"Q\",\"R\""}},
      {"lines before the header are ignored", "junk\n\n" + h + "\n1\nz", true, {"1"}},
      {"line ends of every kind across sixteen-byte steps",
       "a\r\nb\n\n" + h + "\r\n0123456789abcd\r\n\r\r\n" + std::string(1, '\0') +
           "\n\r0123456789abcdef\n\n\r\n1\r",
       true, {"0123456789abcd", "", "", "", "", "", "0123456789abcdef", "", ""}},
  };
  for (const LineCase& c : cases) {
    for (size_t chunk : {0, 1, 2, 3, 5, 17}) {
      SCOPED_TRACE(std::string(c.what) + ", block " + std::to_string(chunk));
      ReadResult result = readBytes(c.bytes, chunk);
      EXPECT_EQ(result.log.headerFound, c.headerFound);
      EXPECT_EQ(result.rows, c.rows);
      if (c.headerFound) {
        EXPECT_EQ(result.countedRows, c.rows.size());
      }
      if (!c.headerFound) {
        EXPECT_EQ(result.log.fieldCount, 0);
        EXPECT_EQ(result.log.headerLine, "");
      }
    }
  }
}

TEST(LogReader, LongLinesCrossBlocks) {
  std::string longRow(300000, 'x');
  longRow[123456] = '\xC3';
  longRow[123457] = '\xA9';
  ReadResult result = readBytes("\"T\"\n" + longRow + "\nz", 4096);
  ASSERT_EQ(result.rows.size(), 1u);
  EXPECT_EQ(result.rows[0], longRow);
}

struct HeaderCase {
  const char* what;
  std::string header;
  std::string headerLine;  // after the "AFR" rule
  int fieldCount;
  std::vector<std::string> names;  // of channels 1 to fieldCount - 1
};

TEST(LogReader, HeaderNamesAndAfrRule) {
  const HeaderCase cases[] = {
      {"AFR twice", "\"Time\",\"AFR\",\"RPM\",\"AFR\"", "\"Time\",\"Lambda\",\"RPM\",\"AFR\"", 4,
       {"Lambda", "RPM", "AFR"}},
      {"AFR three times", "\"Time\",\"AFR\",\"AFR\",\"AFR\"", "\"Time\",\"AFR\",\"AFR\",\"AFR\"", 4,
       {"AFR", "AFR", "AFR"}},
      {"afr in lower case", "\"T\",\"afr\",\"afr\"", "\"T\",\"afr\",\"afr\"", 3, {"afr", "afr"}},
      {"AFR inside a longer name counts", "\"T\",\"AFR2\",\"AFR\"", "\"T\",\"Lambda2\",\"AFR\"", 3,
       {"Lambda2", "AFR"}},
      {"comma and space separate nothing", "\"T\", \"A\", \"B\"", "\"T\", \"A\", \"B\"", 1, {}},
      {"single field", "\"Time\"", "\"Time\"", 1, {}},
      {"trailing text stays in the last name", "\"T\",\"A\",", "\"T\",\"A\",", 2, {"A\","}},
      {"quote runs trimmed, inner quote kept", "\"T\",\"\"Boost\"\"\",\"Oil\"Temp\",\"\"\"",
       "\"T\",\"\"Boost\"\"\",\"Oil\"Temp\",\"\"\"", 4, {"Boost", "Oil\"Temp", ""}},
      {"empty fields", "\"T\",\"\",\"B\"", "\"T\",\"\",\"B\"", 3, {"", "B"}},
      {"eleven fields capped at ten",
       "\"T\",\"1\",\"2\",\"3\",\"4\",\"5\",\"6\",\"7\",\"8\",\"9\",\"10\"",
       "\"T\",\"1\",\"2\",\"3\",\"4\",\"5\",\"6\",\"7\",\"8\",\"9\",\"10\"", 10,
       {"1", "2", "3", "4", "5", "6", "7", "8", "9"}},
  };
  for (const HeaderCase& c : cases) {
    SCOPED_TRACE(c.what);
    ReadResult result = readBytes("pre\n" + c.header + "\n1\nz");
    ASSERT_TRUE(result.log.headerFound);
    EXPECT_EQ(result.log.headerLine, c.headerLine);
    EXPECT_EQ(result.log.fieldCount, c.fieldCount);
    for (int n = 1; n < c.fieldCount; ++n) {
      EXPECT_EQ(result.table[n].name, c.names[n - 1]) << "channel " << n;
      EXPECT_EQ(result.table[n].label, "");  // derived when the export is written
    }
    EXPECT_EQ(result.table[0].name, "");  // the time column takes no name from the log
    EXPECT_EQ(result.rows, std::vector<std::string>{"1"});
  }
}

TEST(LogReader, HeaderFieldNameGivesEmptyBeyondLastField) {
  EXPECT_EQ(headerFieldName("\"T\",\"A\"", 2), "A");
  EXPECT_EQ(headerFieldName("\"T\",\"A\"", 3), "");
  EXPECT_EQ(countOccurrences("aaaa", "aa"), 2u);
}

TEST(LogReader, ReadsAnOpenedFile) {
  TempDir dir;
  std::string bytes = "\"Time\",\"AFR\",\"RPM\",\"AFR\"\r\n";
  for (int i = 0; i < 5000; ++i) bytes += "12:00:00.000,0.98,3500,14.1\r\n";
  writeFile(dir.file("log.csv"), bytes);
  InputFile file;
  std::string err;
  ASSERT_TRUE(openLog(dir.file("log.csv"), &file, &err)) << err;
  LogData log;
  ChannelTable table{};
  ASSERT_TRUE(readLog(file, log, table, &err)) << err;
  EXPECT_EQ(log.fieldCount, 4);
  EXPECT_EQ(log.dataRows.size(), 4999u);
  EXPECT_EQ(log.dataRows[4998], "12:00:00.000,0.98,3500,14.1");
  EXPECT_EQ(table[1].name, "Lambda");
}

}  // namespace
}  // namespace quorvel
