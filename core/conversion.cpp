#include "conversion.h"

#include <new>

#include "file_system.h"
#include "paths.h"

namespace quorvel {

namespace {

void setExportPath(ProgramState& state) {
  if (state.exportPath.empty()) state.exportPath = exportPathFor(state.logPath);
}

ProgressCallback rowsProgress(const ConversionProgress& progress, size_t expected) {
  if (!progress) return {};
  return [&progress, expected](int32_t written) { progress(written, expected); };
}

// The log read whole (from where file is), then exported from memory. prepared: prepare was
// already called (on an earlier reading of the same log).
ConversionFailure convertWhole(ProgramState& state, InputFile& file, bool prepared,
                               const PrepareExport& prepare, const ConversionProgress& progress,
                               const RowWriterTuning& tuning, std::string* err) {
  if (prepared) {
    // The names the header gives are already in the table, and prepare may have changed
    // them: this reading changes nothing but the rows.
    ChannelTable untouched = state.channelTable;
    state.log = LogData();
    if (!readLog(file, state.log, untouched, err)) return ConversionFailure::kLog;
  } else {
    if (!readLog(file, state.log, state.channelTable, err)) return ConversionFailure::kLog;
    if (prepare && !prepare(state, err)) return ConversionFailure::kPrepare;
  }
  file.close();
  deriveLabels(state.channelTable, state.log.fieldCount);
  setExportPath(state);
  if (!writeExport(state.logPath, state.exportPath, state.channelTable, state.log.fieldCount,
                   state.log.dataRows, rowsProgress(progress, state.log.dataRows.size()), err,
                   tuning))
    return ConversionFailure::kExport;
  return ConversionFailure::kNone;
}

// What streaming came to.
enum class Streamed { kDone, kFailed, kReadAgain };

// Reads the log on its own thread while its rows are written; kReadAgain when no thread can
// be started or when the rows read need a VECTORS number of another length than the lines
// counted (the log changed while it was read).
Streamed convertStreamed(ProgramState& state, InputFile& file,
                         const PrepareExport& prepare, const ConversionProgress& progress,
                         const ConversionTuning& tuning, bool* prepared,
                         ConversionFailure* failure, std::string* err) {
  LogStream stream(file, state.log, state.channelTable, tuning.stream);
  auto failed = [&](ConversionFailure step) {
    *failure = step;
    return Streamed::kFailed;
  };
  if (!stream.start(err)) return Streamed::kReadAgain;
  if (!stream.waitForHeader(err)) return failed(ConversionFailure::kLog);
  if (prepare && !prepare(state, err)) return failed(ConversionFailure::kPrepare);
  *prepared = true;
  deriveLabels(state.channelTable, state.log.fieldCount);
  setExportPath(state);
  const int32_t fieldCount = state.log.fieldCount;
  if (!exportAllowed(state.logPath, state.exportPath, fieldCount, err))
    return failed(ConversionFailure::kExport);
  int32_t startTimeMs = 0;
  if (!stream.waitForStartTime(&startTimeMs, err)) return failed(ConversionFailure::kLog);

  AtomicOutputFile out;
  std::string reason;
  if (!out.create(state.exportPath, &reason)) {
    if (err) *err = "cannot create the export: " + reason;
    return failed(ConversionFailure::kExport);
  }
  // Rows are formatted from now on. They are written once the lines are counted, after a
  // beginning as long as the one for the rows counted; the beginning itself is written last,
  // for the rows read.
  size_t expectedRows = 0;
  size_t headLength = 0;
  auto placeRows = [&](std::string* why) {
    if (!stream.waitForRowCount(&expectedRows, why)) return false;
    headLength = exportHead(state.channelTable, fieldCount, expectedRows).size();
    return out.startAt(headLength, why);
  };
  ProgressCallback rowsWritten;
  if (progress) rowsWritten = [&](int32_t written) { progress(written, expectedRows); };
  const bool written =
      writeRowRuns(out, stream, exportedFieldNumbers(state.channelTable, fieldCount),
                   exportRowFields(fieldCount), startTimeMs, placeRows, rowsWritten, tuning.rows,
                   &reason);
  size_t rows = 0;
  if (!stream.result(&rows, err)) return failed(ConversionFailure::kLog);
  if (!written) {
    if (err) *err = exportWriteError(reason);
    return failed(ConversionFailure::kExport);
  }
  const std::string head = exportHead(state.channelTable, fieldCount, rows);
  if (head.size() != headLength) return Streamed::kReadAgain;
  if (!out.writeAt(0, head.data(), head.size(), &reason)) {
    if (err) *err = "cannot write the export: " + reason;
    return failed(ConversionFailure::kExport);
  }
  if (!out.commit(&reason)) {
    if (err) *err = "cannot save the export: " + reason;
    return failed(ConversionFailure::kExport);
  }
  return Streamed::kDone;
}

}  // namespace

bool readLogFile(ProgramState& state, std::string* err) {
  InputFile file;
  if (!openLog(state.logPath, &file, err)) return false;
  return readLog(file, state.log, state.channelTable, err);
}

bool exportLog(ProgramState& state, const ProgressCallback& progress, std::string* err) {
  deriveLabels(state.channelTable, state.log.fieldCount);
  setExportPath(state);
  return writeExport(state.logPath, state.exportPath, state.channelTable, state.log.fieldCount,
                     state.log.dataRows, progress, err);
}

ConversionFailure convertLogFile(ProgramState& state, const PrepareExport& prepare,
                                 const ConversionProgress& progress, std::string* err,
                                 const ConversionTuning& tuning) {
  InputFile file;
  if (!openLog(state.logPath, &file, err)) return ConversionFailure::kLog;
  uint64_t size = 0;
  const bool sized = file.size(&size, nullptr);
  bool prepared = false;
  if (sized && size >= tuning.streamFrom) {
    ConversionFailure failure = ConversionFailure::kNone;
    Streamed streamed;
    try {
      streamed = convertStreamed(state, file, prepare, progress, tuning, &prepared,
                                 &failure, err);
    } catch (const std::bad_alloc&) {
      if (err) *err = "not enough memory";
      return ConversionFailure::kExport;
    }
    if (streamed == Streamed::kDone) return ConversionFailure::kNone;
    if (streamed == Streamed::kFailed) return failure;
    // Read again from the start, whole.
    if (!file.rewind(err)) return ConversionFailure::kLog;
  }
  try {
    return convertWhole(state, file, prepared, prepare, progress, tuning.rows, err);
  } catch (const std::bad_alloc&) {
    if (err) *err = "not enough memory";
    return ConversionFailure::kLog;
  }
}

}  // namespace quorvel
