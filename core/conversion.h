// The steps that the window and the command-line converter share, so that both write the
// same bytes.
#pragma once

#include <string>

#include "dif_export.h"
#include "program_state.h"

namespace quorvel {

// Opens the log at state.logPath, reads it into state (names and labels of its channels
// included) and closes it. Returns false with *err (the reason) when it cannot be read.
bool readLogFile(ProgramState& state, std::string* err);

// Derives the label of every entry in use, sets state.exportPath when it is empty (beside the
// log) and writes the export. Returns false with *err (the reason) on failure.
bool exportLog(ProgramState& state, const ProgressCallback& progress, std::string* err);

}  // namespace quorvel
