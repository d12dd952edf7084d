// The steps that the window and the command-line converter share, so that both write the
// same bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "data_rows.h"
#include "dif_export.h"
#include "log_stream.h"
#include "program_state.h"

namespace quorvel {

// Opens the log at state.logPath, reads it into state (names and labels of its channels
// included) and closes it. Returns false with *err (the reason) when it cannot be read.
bool readLogFile(ProgramState& state, std::string* err);

// Derives the label of every entry in use, sets state.exportPath when it is empty (beside the
// log) and writes the export. Returns false with *err (the reason) on failure.
bool exportLog(ProgramState& state, const ProgressCallback& progress, std::string* err);

// Called by convertLogFile once the log's header has been read (fieldCount, headerLine and
// the channel names are in state) and before anything is written: applies what the export
// should follow (settings, state.exportPath). Returns false with *err to convert nothing.
using PrepareExport = std::function<bool(ProgramState& state, std::string* err)>;

// Progress of a conversion: rows written so far, and the rows the log holds (for a log read
// while written: as its lines were counted, which a log growing meanwhile may outrun).
using ConversionProgress = std::function<void(int32_t rowsWritten, size_t rowsExpected)>;

// Which step of convertLogFile failed.
enum class ConversionFailure {
  kNone,     // the export was written
  kLog,      // the log could not be opened or read (*err about state.logPath)
  kPrepare,  // prepare refused (its *err)
  kExport,   // the export could not be written (*err about state.exportPath)
};

// How convertLogFile shares out its work; the bytes never depend on it.
struct ConversionTuning {
  uint64_t streamFrom = 4 << 20;  // logs of at least this many bytes are read while written
  LogStreamTuning stream;
  RowWriterTuning rows;
};

// For the command-line converter: reads the log at state.logPath and writes its export, the
// same bytes as readLogFile, prepare and exportLog in a row. A large log is read on a thread
// of its own while its rows are formatted and written (its lines counted on another, for the
// header's row count), so that only a few runs of rows are in memory at a time and
// state.log.dataRows stays empty; rows before the first one with a time wait in memory. A
// small log is read whole first. Should the rows read need a row count of another length than
// the lines counted (the log changed while it was read), the log is read again, whole. Nothing
// is left behind on failure; state.exportPath is set (beside the log) when prepare leaves it
// empty.
ConversionFailure convertLogFile(ProgramState& state, const PrepareExport& prepare,
                                 const ConversionProgress& progress, std::string* err,
                                 const ConversionTuning& tuning = {});

}  // namespace quorvel
