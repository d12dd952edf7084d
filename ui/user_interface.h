// The seam between the program's flow and a toolkit: everything the flow and the settings
// window ask of the user, in UTF-8. Implemented once with Qt (ui/qt) and once with Win32
// (ui/win32); tests script the dialogs and keep the real window.
#pragma once

#include <cstdint>
#include <string>

#include "program_state.h"

namespace quorvel {

class UserInterface {
 public:
  virtual ~UserInterface() = default;
  // Asks for the log to convert ("Choose a ZT-2 CSV file"). Empty when cancelled.
  virtual std::string chooseLog() = 0;
  // The colour chooser, modal over the settings window, opened at initial (0x00BBGGRR): the
  // chosen colour, or -1 when the user cancels.
  virtual int32_t chooseColor(int32_t initial) = 0;
  // Tells the user that something failed (over the settings window while it is open).
  virtual void showError(const std::string& text) = 0;
  // Builds the settings window for state and handles its events until the close request. The
  // window stays on screen, no longer answering, until this object is destroyed. Returns
  // false when the window cannot be opened.
  virtual bool runWindow(ProgramState& state) = 0;
};

}  // namespace quorvel
