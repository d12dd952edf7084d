// Reads a ZT-2 CSV log: finds its header line, names the channels and keeps the data rows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "channel_table.h"
#include "row_store.h"

namespace quorvel {

class InputFile;

// The log as read.
struct LogData {
  std::string headerLine;  // the header line after the "AFR" rule; empty without a header
  int32_t fieldCount = 0;  // fields of headerLine, at most kChannelTableSize; 0 without a header
  bool headerFound = false;
  RowStore dataRows;       // every line after the header but the file's last, as read
};

// Reads a log fed in blocks of any size. Lines end at CR, LF, CR LF or NUL; bytes are decoded
// as UTF-8 (a stray continuation byte or F8-FF reads as "?", other ill-formed parts as U+FFFD);
// the file's last line is never used. The header is the first line beginning with a double
// quote; it names entries 1 to fieldCount - 1 of the channel table (their labels are derived
// when the export is written).
class LogReader {
 public:
  LogReader(LogData& log, ChannelTable& channelTable);

  // Reads the next bytes of the file.
  void feed(const char* data, size_t size);
  // Ends the file: the line read last is discarded.
  void finish();
  // Moves the data rows read so far from the log's store into rows (emptied first; its
  // buffer is reused), keeping the line being read: for a reader that hands rows on while
  // the rest of the log is still being read.
  void takeRows(RowStore& rows);
  // The lines used before the first data row: those before the header line and the header
  // line itself (while no header has been found: every line used so far).
  uint64_t linesBeforeRows() const { return linesBeforeRows_; }

 private:
  void startLine();
  void endLine(bool byCarriageReturn);
  void takeByte(unsigned char b);
  void commitPendingLine();
  void takeHeader(std::string line);

  LogData& log_;
  ChannelTable& channelTable_;
  std::string& out_;         // the row buffer; the line being read is its tail
  size_t lineStart_ = 0;     // where the current or pending line begins in out_
  bool lineOpen_ = false;    // a line is being read
  bool linePending_ = false; // a line has ended and will be used if any byte follows
  bool afterCarriageReturn_ = false;
  unsigned char group_[4] = {};  // the bytes of a multi-byte character being collected
  int groupHave_ = 0;
  int groupNeed_ = 0;
  uint64_t linesBeforeRows_ = 0;
};

// Counts the lines that a LogReader fed the same bytes uses (as header, data row or ignored
// line before the header): those ended by CR, LF or NUL (CR LF once) with at least one more
// byte after their end. Much faster than reading them: for knowing how many data rows a log
// holds (lines() - linesBeforeRows()) before it has been read.
class LineCounter {
 public:
  // Counts the next bytes of the file.
  void feed(const char* data, size_t size);
  // The lines used, as far as the bytes fed so far tell.
  uint64_t lines() const { return ends_ - (endsWithLineEnd_ ? 1 : 0); }

 private:
  uint64_t ends_ = 0;
  bool afterCarriageReturn_ = false;
  bool endsWithLineEnd_ = false;
};

// Reads the opened log to its end into log and the channel table's names and labels.
// Returns false with *err set when reading the file fails.
bool readLog(InputFile& file, LogData& log, ChannelTable& channelTable, std::string* err);

// Header field n (1-based) split at the three characters "," with the runs of double quotes at
// both ends removed: the channel name a header gives. Empty when the header has fewer fields.
std::string headerFieldName(std::string_view headerLine, int n);

// Number of non-overlapping occurrences of what in text, scanning from the left.
size_t countOccurrences(std::string_view text, std::string_view what);

}  // namespace quorvel
