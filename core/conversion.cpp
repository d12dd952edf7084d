#include "conversion.h"

#include "file_system.h"
#include "paths.h"

namespace quorvel {

bool readLogFile(ProgramState& state, std::string* err) {
  InputFile file;
  if (!openLog(state.logPath, &file, err)) return false;
  return readLog(file, state.log, state.channelTable, err);
}

bool exportLog(ProgramState& state, const ProgressCallback& progress, std::string* err) {
  deriveLabels(state.channelTable, state.log.fieldCount);
  if (state.exportPath.empty()) state.exportPath = exportPathFor(state.logPath);
  return writeExport(state.logPath, state.exportPath, state.channelTable, state.log.fieldCount,
                     state.log.dataRows, progress, err);
}

}  // namespace quorvel
