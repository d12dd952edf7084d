// A log read on a thread of its own, its data rows handed on in runs while the rest of it is
// still being read: for writing the export at the same time as reading the log, with only a
// few runs of rows in memory at any time.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "channel_table.h"
#include "data_rows.h"
#include "log_reader.h"
#include "row_store.h"

namespace quorvel {

class InputFile;

// How the log is read and cut into runs; the rows handed on never depend on it.
struct LogStreamTuning {
  size_t readBlock = 256 << 10;   // bytes read at a time
  size_t countBlock = 128 << 10;  // bytes read at a time for counting the lines
  size_t runBytes = 1 << 20;      // rows are handed on once they hold this much text...
  size_t runRows = 16384;         // ...or this many rows
  size_t runsAhead = 16;          // runs read ahead of the writer, at most
};

// Reads the log with the rules of LogReader: the header line's fields go to log (headerLine,
// fieldCount, headerFound) and the names of channelTable; the data rows go to whoever takes
// them through next(), in runs. log.dataRows is the reading thread's work space meanwhile.
// A second thread counts the log's lines meanwhile (LineCounter), so that the number of rows
// is known long before they have all been read.
class LogStream : public RowRunSource {
 public:
  // file is open; it is read from its first byte on (with readAt).
  LogStream(InputFile& file, LogData& log, ChannelTable& channelTable,
            const LogStreamTuning& tuning = {});
  // Stops reading and waits for the reading thread.
  ~LogStream() override;
  LogStream(const LogStream&) = delete;
  LogStream& operator=(const LogStream&) = delete;

  // Starts the reading and counting threads. False with *err when the system gives none.
  bool start(std::string* err);
  // Waits until the header line has been read or the whole log has been read without one:
  // log's header fields and the channel names may be read from then on. Returns false with
  // *err when reading failed or was stopped.
  bool waitForHeader(std::string* err);
  // Waits until the rows' start time is known: the time in field 1 of the first row holding
  // one there, or 0 when the log ended without one. Returns false with *err when reading
  // failed or was stopped.
  bool waitForStartTime(int32_t* startTimeMs, std::string* err);
  // Waits until the lines are counted, and gives the number of data rows they make: the
  // number read, unless the file changes while it is read. Returns false with *err when
  // reading failed or was stopped.
  bool waitForRowCount(size_t* rows, std::string* err);
  // Once next() has returned false: *rows is the number of data rows read. Returns false with
  // *err when reading failed ("not enough memory" included), in which case rows are missing.
  bool result(size_t* rows, std::string* err);

  // RowRunSource: the runs in the log's order; each run stays valid until written().
  bool next(RowRun* run) override;
  void written(const RowRun& run) override;
  void stop() override;

 private:
  void read();
  void count();
  void handOn(LogReader& reader);
  void fail(std::string reason);
  void notifyEveryone();

  InputFile& file_;
  LogData& log_;
  ChannelTable& channelTable_;
  const LogStreamTuning tuning_;
  std::thread reader_;
  std::thread counter_;

  std::mutex mutex_;  // guards everything below
  std::condition_variable changed_;      // header, count, start time, end or failure
  std::condition_variable runsWaiting_;  // a run was read (or no more will be)
  std::condition_variable roomForRuns_;  // a run was taken (or reading may go on)
  struct Run {
    std::unique_ptr<RowStore> rows;
    size_t number;  // the number of its first row in the log
  };
  std::deque<Run> runs_;                            // read, not yet taken
  std::deque<std::unique_ptr<RowStore>> inFlight_;  // taken, not yet written
  std::vector<std::unique_ptr<RowStore>> spare_;    // written: buffers for later runs
  size_t rowsHandedOn_ = 0;      // rows in every run handed on so far
  bool headerKnown_ = false;     // the header was read, or the log ended without one
  uint64_t linesBeforeRows_ = 0; // lines up to the header's (LogReader::linesBeforeRows)
  bool startKnown_ = false;
  int32_t startTimeMs_ = 0;
  bool counted_ = false;
  uint64_t lines_ = 0;           // lines counted (LineCounter::lines)
  bool ended_ = false;           // the whole log was read
  bool failed_ = false;
  std::string error_;
  bool stopped_ = false;
};

}  // namespace quorvel
