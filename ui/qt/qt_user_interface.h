// The user interface through Qt 6 Widgets: the system's dialogs and the settings window.
#pragma once

#include <memory>

#include "user_interface.h"

namespace quorvel {

class SettingsWindow;

class QtUserInterface : public UserInterface {
 public:
  // Keeps Qt from saving dialog state (custom colours, file history) in files of its own, and
  // starts the chooser's custom colours black.
  QtUserInterface();
  ~QtUserInterface() override;

  std::string chooseLog() override;
  int32_t chooseColor(int32_t initial) override;
  void showError(const std::string& text) override;
  bool runWindow(ProgramState& state) override;

  // The window of the last runWindow, while this object lives (null before).
  SettingsWindow* window() const { return window_.get(); }

 private:
  std::unique_ptr<SettingsWindow> window_;
};

// Dialogs that never open, for tools that only render or measure the window.
class SilentQtUserInterface : public QtUserInterface {
 public:
  std::string chooseLog() override { return {}; }
  int32_t chooseColor(int32_t) override { return -1; }
  void showError(const std::string&) override {}
};

}  // namespace quorvel
