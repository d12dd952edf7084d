// The seam for the program's modal dialogs: the real Qt dialogs in the program, scripted
// substitutes in tests (a test never reaches a real modal dialog).
#pragma once

#include <QString>
#include <cstdint>

class QWidget;

namespace quorvel {

class Dialogs {
 public:
  virtual ~Dialogs() = default;
  // Asks for the log to convert ("Choose a ZT-2 CSV file"). Empty when cancelled.
  virtual QString chooseLog() = 0;
  // The colour chooser, opened at initial (0x00BBGGRR). The chosen colour, or -1 on cancel.
  virtual int32_t chooseColor(QWidget* parent, int32_t initial) = 0;
  // Tells the user that something failed.
  virtual void showError(QWidget* parent, const QString& text) = 0;
};

// The system's dialogs through Qt. Creating it keeps Qt from saving dialog state (custom
// colours, file history) in files of its own, and starts the custom colours black.
class QtDialogs : public Dialogs {
 public:
  QtDialogs();
  QString chooseLog() override;
  int32_t chooseColor(QWidget* parent, int32_t initial) override;
  void showError(QWidget* parent, const QString& text) override;
};

// Dialogs that never open, for tools that only render or measure the window.
class NoDialogs : public Dialogs {
 public:
  QString chooseLog() override { return {}; }
  int32_t chooseColor(QWidget*, int32_t) override { return -1; }
  void showError(QWidget*, const QString&) override {}
};

}  // namespace quorvel
