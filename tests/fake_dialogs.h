// Scripted dialogs for tests of the window and the program flow: they answer at once and
// remember how they were asked.
#pragma once

#include <QString>
#include <QStringList>
#include <QWidget>
#include <cstdint>
#include <vector>

#include "dialogs.h"

namespace quorvel::testing {

class FakeDialogs : public Dialogs {
 public:
  QString logToChoose;
  int32_t colorToChoose = -1;          // -1: the user cancels the chooser
  std::vector<int32_t> colorsOpenedAt;  // the initial colour of every chooser opened
  QStringList errors;

  QString chooseLog() override { return logToChoose; }
  int32_t chooseColor(QWidget*, int32_t initial) override {
    colorsOpenedAt.push_back(initial);
    return colorToChoose;
  }
  void showError(QWidget*, const QString& text) override { errors << text; }
};

}  // namespace quorvel::testing
