// The export's data tuples: one per data row, its exported fields as number cells, a field
// with a ":" that reads as a time of day written as seconds since the start time. Blocks of
// rows are formatted on worker threads while the calling thread writes finished blocks in
// order, so the bytes are the same for any number of threads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "row_store.h"

namespace quorvel {

class AtomicOutputFile;

// Called with the count of data rows written: at every 100th row and once at the end.
using ProgressCallback = std::function<void(int32_t rowsWritten)>;

// How the work is shared out; the bytes written never depend on it.
struct RowWriterTuning {
  int threads = 0;            // formatting threads; 0: the hardware's count (none for a small log)
  size_t blockRows = 16384;   // rows per block handed to a thread
};

// Writes a tuple per row of dataRows, then the end-of-data marker, to file. Times are written
// as seconds since the time in field 1 of the first row that holds one there (0 when none).
// fieldNumbers are the exported fields of each row (1 is the time column); a row is split
// into at most maxFields fields. progress (may be empty) is called on the calling thread, in
// order, with every multiple of 100 rows written and once more at the end. Returns false
// with *err (a write failure, or "not enough memory"); the file then holds only part of the
// rows.
bool writeDataRows(AtomicOutputFile& file, const RowStore& dataRows,
                   const std::vector<int>& fieldNumbers, int maxFields,
                   const ProgressCallback& progress, const RowWriterTuning& tuning,
                   std::string* err);

// The start time of a log's rows: the time (milliseconds since midnight) in field 1 of the
// first row of rows that holds one there. False when no row of rows does.
bool findStartTime(const RowStore& rows, int32_t* timeMs);

// A run of consecutive data rows: rows [first, first + count) of store, which are rows
// [number, number + count) of the whole log.
struct RowRun {
  const RowStore* store = nullptr;
  size_t first = 0;
  size_t count = 0;
  size_t number = 0;
};

// Where writeRowRuns takes its rows from, possibly while the log is still being read.
class RowRunSource {
 public:
  virtual ~RowRunSource() = default;
  // Waits for the next run and returns true with it (never empty, in the log's order), or
  // false once no rows are left (and on every later call). Calls never overlap.
  virtual bool next(RowRun* run) = 0;
  // The run's tuples have been written: its rows are not read any more. Called in order, on
  // the thread that called writeRowRuns.
  virtual void written(const RowRun& run) = 0;
  // Makes next() return false from now on, also a call that is waiting: for a writer that
  // stops early (a full disk).
  virtual void stop() = 0;
};

// As writeDataRows, for the rows that source gives and the start time startTimeMs; the runs
// are formatted on worker threads as they come (tuning.blockRows is not used: a run is one
// block). beforeWriting (may be empty) is called on the calling thread once, before the first
// byte is written, while the threads may already be formatting: for a writer that learns only
// then where the rows go; when it returns false (with *err) nothing is written. Returns false
// with *err on a write failure or "not enough memory".
bool writeRowRuns(AtomicOutputFile& file, RowRunSource& source,
                  const std::vector<int>& fieldNumbers, int maxFields, int32_t startTimeMs,
                  const std::function<bool(std::string* err)>& beforeWriting,
                  const ProgressCallback& progress, const RowWriterTuning& tuning,
                  std::string* err);

}  // namespace quorvel
