#include "win32_user_interface.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <commctrl.h>
#include <commdlg.h>

#include "settings_window.h"
#include "windows_text.h"

namespace quorvel {

namespace {

// The chooser's custom colours: black at the start, kept from one opening to the next until
// the program ends, never saved.
COLORREF customColors[16] = {};

}  // namespace

Win32UserInterface::Win32UserInterface() {
  INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_BAR_CLASSES | ICC_PROGRESS_CLASS |
                                                        ICC_STANDARD_CLASSES};
  ::InitCommonControlsEx(&controls);
}

Win32UserInterface::~Win32UserInterface() = default;

std::string Win32UserInterface::chooseLog() {
  wchar_t path[MAX_PATH] = {};  // a chosen path of at most 259 characters
  OPENFILENAMEW dialog = {};
  dialog.lStructSize = sizeof dialog;
  dialog.lpstrFilter = L"CSV\0*.csv\0";
  dialog.nFilterIndex = 1;
  dialog.lpstrFile = path;
  dialog.nMaxFile = MAX_PATH;
  dialog.lpstrTitle = L"Choose a ZT-2 CSV file";
  // The folder must exist, the file need not (opening it then fails and says so).
  dialog.Flags = OFN_EXPLORER | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
  if (!::GetOpenFileNameW(&dialog)) return {};
  return narrow(path);
}

int32_t Win32UserInterface::chooseColor(int32_t initial) {
  customColors[0] = static_cast<COLORREF>(initial);
  CHOOSECOLORW dialog = {};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = window_ ? window_->window() : nullptr;
  dialog.rgbResult = static_cast<COLORREF>(initial);
  dialog.lpCustColors = customColors;
  dialog.Flags = CC_RGBINIT;
  if (!::ChooseColorW(&dialog)) return -1;
  return static_cast<int32_t>(dialog.rgbResult & 0x00FFFFFF);
}

void Win32UserInterface::showError(const std::string& text) {
  ::MessageBoxW(window_ ? window_->window() : nullptr, widen(text).c_str(), L"Quorvel",
                MB_OK | MB_ICONWARNING);
}

bool Win32UserInterface::runWindow(ProgramState& state) {
  window_ = std::make_unique<SettingsWindow>(state, *this);
  if (!window_->build()) return false;
  windowBuilt(*window_);
  window_->runEventLoop();
  return true;
}

}  // namespace quorvel
