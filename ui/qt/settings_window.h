// The settings window in Qt 6 Widgets: the controls of windowControls(), each event handed to
// the WindowModel, and the model's requests (rows, swatches, progress, dialogs) carried out.
#pragma once

#include <QWidget>

#include "program_state.h"
#include "status_bar.h"
#include "window_model.h"

class QCheckBox;
class QEventLoop;
class QLabel;
class QLineEdit;
class QScreen;

namespace quorvel {

class UserInterface;

class SettingsWindow : public QWidget, public WindowView {
 public:
  SettingsWindow(ProgramState& state, UserInterface& ui);
  ~SettingsWindow() override;

  // Creates the controls and the status bar and shows the window centred on the primary
  // screen by its outer size (waiting up to a second for a window manager to frame it).
  // Returns false when there is no screen to show it on.
  bool build();

  // Handles the window's events until the close request has been taken. The window stays
  // on screen afterwards.
  void runEventLoop();

  // Whether the close request has been taken.
  bool closeRequested() const { return closeRequested_; }

  // Whether user input is shut out: from "Convert" on (again open after a failed export).
  bool inputClosed() const { return inputClosed_; }

  // The control with that identifier (see window_model.h), or null. Each is named
  // "control<identifier>".
  QWidget* control(int identifier) const;

  StatusBar& statusBar() { return statusBar_; }

  // WindowView: what the model asks of the window.
  std::string editText(int id) override;
  void showChannel(int n, const ChannelSettings& channel) override;
  void showSwatch(int n, int32_t color) override;
  int32_t chooseColor(int32_t initial) override;
  void setProgress(int32_t rows) override;
  void showError(const std::string& text) override;
  void setInputClosed(bool closed) override;
  // Posts the close request to the window's own event queue.
  void requestClose() override;

 protected:
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void centre(QScreen* screen);

  ProgramState& state_;
  UserInterface& ui_;
  WindowModel model_;
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
