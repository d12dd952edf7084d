// Scripted dialogs for tests of the window and the program flow: they answer at once and
// remember how they were asked; the settings window itself is the real Qt one.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "qt_user_interface.h"

namespace quorvel::testing {

class FakeDialogs : public QtUserInterface {
 public:
  std::string logToChoose;
  int32_t colorToChoose = -1;          // -1: the user cancels the chooser
  std::vector<int32_t> colorsOpenedAt;  // the initial colour of every chooser opened
  std::vector<std::string> errors;

  std::string chooseLog() override { return logToChoose; }
  int32_t chooseColor(int32_t initial) override {
    colorsOpenedAt.push_back(initial);
    return colorToChoose;
  }
  void showError(const std::string& text) override { errors.push_back(text); }
};

}  // namespace quorvel::testing
