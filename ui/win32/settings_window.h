// The settings window in Win32 with the common controls: the controls of windowControls(),
// each event handed to the WindowModel, and the model's requests carried out. Positions are
// the table's at 96 DPI, scaled by the monitor's DPI.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <cstdint>
#include <string>

#include "program_state.h"
#include "window_model.h"

namespace quorvel {

class UserInterface;

class SettingsWindow : public WindowView {
 public:
  SettingsWindow(ProgramState& state, UserInterface& ui);
  ~SettingsWindow() override;
  SettingsWindow(const SettingsWindow&) = delete;
  SettingsWindow& operator=(const SettingsWindow&) = delete;

  // Creates the window, its controls and the status bar, and shows it centred on the primary
  // screen by its outer size. Returns false when the window cannot be created.
  bool build();

  // Handles messages until the close request has been taken. The window stays on screen,
  // no longer answering, until this object is destroyed.
  void runEventLoop();

  // Handles one message as the event loop does (the dialog manager's Tab and Shift+Tab, Enter
  // on a focused button, no input while input is shut out). For the loop, and for tests.
  void handleMessage(MSG& msg);

  bool closeRequested() const { return closeRequested_; }
  bool inputClosed() const { return inputClosed_; }
  HWND window() const { return window_; }
  // The control with that identifier (see window_model.h), or null.
  HWND control(int id) const { return ::GetDlgItem(window_, id); }
  HWND statusBar() const { return statusBar_; }
  HWND progressBar() const { return progress_; }
  // The DPI the window is laid out for (96 is the table's own size).
  int dpi() const { return dpi_; }

  // WindowView: what the model asks of the window.
  std::string editText(int id) override;
  void showChannel(int n, const ChannelSettings& channel) override;
  void showSwatch(int n, int32_t color) override;
  int32_t chooseColor(int32_t initial) override;
  void setProgress(int32_t rows) override;
  void showError(const std::string& text) override;
  void setInputClosed(bool closed) override;
  // Posts the close request (WM_CLOSE) to the window's own queue.
  void requestClose() override;

 private:
  static LRESULT CALLBACK windowProcedure(HWND window, UINT message, WPARAM w, LPARAM l);
  LRESULT handle(UINT message, WPARAM w, LPARAM l);
  void command(int id, int notification);
  int scale(int pixels) const { return ::MulDiv(pixels, dpi_, 96); }
  void createControls();
  void attachStatusBar();
  // Places every control, the status bar and the indicator for the window's DPI.
  void layOut();

  ProgramState& state_;
  UserInterface& ui_;
  WindowModel model_;
  HWND window_ = nullptr;
  HWND statusBar_ = nullptr;
  HWND progress_ = nullptr;
  HFONT font_ = nullptr;
  HBITMAP swatches_[kChannelTableSize] = {};
  int dpi_ = 96;
  int32_t progressMaximum_ = 0;
  ULONGLONG lastPaint_ = 0;
  bool closeRequested_ = false;
  bool inputClosed_ = false;
};

}  // namespace quorvel
