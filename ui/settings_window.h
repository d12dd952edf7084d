// The settings window: a row per channel (in use, name, unit, colour), "Convert" and "Reset",
// and the status bar. It works directly on the program state's channel table.
#pragma once

#include <QWidget>

#include "program_state.h"
#include "status_bar.h"

class QCheckBox;
class QEventLoop;
class QLabel;
class QLineEdit;
class QScreen;

namespace quorvel {

class Dialogs;

class SettingsWindow : public QWidget {
 public:
  SettingsWindow(ProgramState& state, Dialogs& dialogs);
  ~SettingsWindow() override;

  // Creates the controls and the status bar and shows the window centred on the primary
  // screen by its outer size (waiting up to a second for a window manager to frame it).
  // Returns false when there is no screen to show it on.
  bool build();

  // Handles the window's events until the close request has been taken. The window stays
  // on screen afterwards.
  void runEventLoop();

  // Posts the close request to the window's own event queue.
  void requestClose();

  // Whether the close request has been taken.
  bool closeRequested() const { return closeRequested_; }

  // Whether user input is shut out: from "Convert" on (again open after a failed export).
  bool inputClosed() const { return inputClosed_; }

  // The control with that identifier (3, 1, 2, 4 headings; 100 + n check box; 110 + n name;
  // 120 + n unit; 130 + n swatch; 140 "Convert"; 150 "Reset"), or null.
  QWidget* control(int identifier) const;

  StatusBar& statusBar() { return statusBar_; }

 protected:
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  int channelRows() const;
  void centre(QScreen* screen);
  void showRow(int n);
  void showSwatch(int n);
  void pickColor(int n);
  void convert();
  void reset();

  ProgramState& state_;
  Dialogs& dialogs_;
  StatusBar statusBar_;
  QCheckBox* inUse_[kChannelTableSize] = {};
  QLineEdit* names_[kChannelTableSize] = {};
  QLineEdit* units_[kChannelTableSize] = {};
  QLabel* swatches_[kChannelTableSize] = {};
  QEventLoop* loop_ = nullptr;
  bool closeRequested_ = false;
  bool inputClosed_ = false;
};

}  // namespace quorvel
