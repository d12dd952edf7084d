// The program, start to end: choose a log, read it, load the channel settings, show the
// settings window until it closes, save the channel settings. Free of any toolkit: it asks
// the user through a UserInterface.
#pragma once

#include <string>

#include "program_state.h"

namespace quorvel {

class UserInterface;

// Runs the whole program once on state (freshly created, or with logPath already set to a log
// named on the command line, which skips the file dialog). settingsPath is the settings file
// beside the program. Cancelling the file dialog ends at once; a log that cannot be read is
// reported through ui and ends the run; a save that fails is reported on stderr. Never fails
// otherwise.
void runProgram(ProgramState& state, UserInterface& ui, const std::string& settingsPath);

}  // namespace quorvel
