// The user interface through Win32: the system's open-file dialog, colour chooser and message
// box, and the settings window with the common controls.
#pragma once

#include <memory>

#include "user_interface.h"

namespace quorvel {

class SettingsWindow;

class Win32UserInterface : public UserInterface {
 public:
  // Loads the common controls (visual styles come from the program's manifest).
  Win32UserInterface();
  ~Win32UserInterface() override;

  std::string chooseLog() override;
  int32_t chooseColor(int32_t initial) override;
  void showError(const std::string& text) override;
  bool runWindow(ProgramState& state) override;

  // The window of the last runWindow, while this object lives (null before).
  SettingsWindow* window() const { return window_.get(); }

 protected:
  // Called once the window is built, before its events are handled (tests drive it here).
  virtual void windowBuilt(SettingsWindow&) {}

 private:
  std::unique_ptr<SettingsWindow> window_;
};

}  // namespace quorvel
