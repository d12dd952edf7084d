// quorvel.exe: the settings window program on Windows. Takes one optional argument, a log to
// open instead of asking for one (a log dropped on the program, or "Open with").
#include "file_system.h"
#include "program_flow.h"
#include "settings_location.h"
#include "win32_user_interface.h"

int main(int argc, char** argv) {
  std::vector<std::string> arguments = quorvel::commandLineArguments(argc, argv);
  std::string self, err;
  quorvel::programPath(&self, &err);
  quorvel::ProgramState state;
  if (!arguments.empty()) state.logPath = arguments.front();
  quorvel::Win32UserInterface ui;
  quorvel::runProgram(state, ui, quorvel::settingsPathOnThisMachine(self));
  return 0;
}
