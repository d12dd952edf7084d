// The real Win32 window under Wine: built for a log, then sent what a user's input produces
// (button clicks, typed texts, clicks on a swatch, Tab through the dialog manager, the close
// request), with the colour chooser and message box scripted.
#include "settings_window.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include "channel_settings.h"
#include "conversion.h"
#include "file_system.h"
#include "program_flow.h"
#include "win32_user_interface.h"
#include "windows_text.h"
#include "../../tests/test_support.h"

namespace quorvel {
namespace {

using quorvel::testing::logHeader;
using quorvel::testing::readFile;
using quorvel::testing::TempDir;

const std::string kData = QUORVEL_TEST_DATA;

// The real dialogs' stand-ins; the window is the real one.
class ScriptedUserInterface : public Win32UserInterface {
 public:
  std::string logToChoose;
  int32_t colorToChoose = -1;
  std::vector<int32_t> choosersOpenedAt;
  std::vector<std::string> errors;
  std::function<void(SettingsWindow&)> whenBuilt;

  std::string chooseLog() override { return logToChoose; }
  int32_t chooseColor(int32_t initial) override {
    choosersOpenedAt.push_back(initial);
    return colorToChoose;
  }
  void showError(const std::string& text) override { errors.push_back(text); }

 protected:
  void windowBuilt(SettingsWindow& window) override {
    if (whenBuilt) whenBuilt(window);
  }
};

// Handles the messages waiting for the window, as its event loop does.
void pump(SettingsWindow& window) {
  MSG msg;
  while (!window.closeRequested() && ::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
    window.handleMessage(msg);
}

// A window over a log read from text, with the built-in defaults, built.
struct WindowOnLog {
  explicit WindowOnLog(const std::string& text, const std::string& name = "log.csv")
      : window(state, ui) {
    applyChannelDefaults(state.channelTable);
    state.logPath = dir.file(name);
    std::string err;
    EXPECT_TRUE(replaceFile(state.logPath, text, &err)) << err;  // UTF-8 names too
    EXPECT_TRUE(readLogFile(state, &err)) << err;
  }
  TempDir dir;
  ProgramState state;
  ScriptedUserInterface ui;
  SettingsWindow window;
};

RECT clientRectOf(const SettingsWindow& window, HWND control) {
  RECT rect;
  ::GetWindowRect(control, &rect);
  ::MapWindowPoints(nullptr, window.window(), reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

int focusedId() { return ::GetDlgCtrlID(::GetFocus()); }

void pressTab(SettingsWindow& window, bool shift) {
  BYTE keys[256];
  ::GetKeyboardState(keys);
  keys[VK_SHIFT] = shift ? 0x80 : 0;
  ::SetKeyboardState(keys);
  MSG msg = {::GetFocus(), WM_KEYDOWN, VK_TAB, 0, 0, {}};
  window.handleMessage(msg);
  keys[VK_SHIFT] = 0;
  ::SetKeyboardState(keys);
}

void postClick(HWND control) {
  ::PostMessageW(control, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
  ::PostMessageW(control, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
}

// The colour of a swatch's picture, as 0x00BBGGRR.
int32_t swatchColor(HWND swatch) {
  auto picture = reinterpret_cast<HBITMAP>(::SendMessageW(swatch, STM_GETIMAGE, IMAGE_BITMAP, 0));
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  HDC context = ::GetDC(nullptr);
  ::GetDIBits(context, picture, 0, 0, nullptr, &info, DIB_RGB_COLORS);
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  info.bmiHeader.biHeight = -info.bmiHeader.biHeight;
  std::vector<uint32_t> pixels(static_cast<size_t>(info.bmiHeader.biWidth) *
                               static_cast<size_t>(-info.bmiHeader.biHeight));
  ::GetDIBits(context, picture, 0, static_cast<UINT>(-info.bmiHeader.biHeight), pixels.data(),
              &info, DIB_RGB_COLORS);
  ::ReleaseDC(nullptr, context);
  const uint32_t rgb = pixels.empty() ? 0xFFFFFFFF : pixels[pixels.size() / 2] & 0xFFFFFF;
  return static_cast<int32_t>(((rgb & 0xFF) << 16) | (rgb & 0xFF00) | (rgb >> 16));
}

TEST(Win32Window, ControlsStandWhereTheSharedTablePutsThem) {
  for (int fields : {0, 1, 4, 10}) {
    SCOPED_TRACE(fields);
    WindowOnLog on(fields == 0 ? std::string("no header\r\n1\r\n") : logHeader(fields, "\r\n") + "1\r\nz\r\n");
    ASSERT_TRUE(on.window.build());
    ASSERT_EQ(on.window.dpi(), 96);
    HWND window = on.window.window();
    wchar_t title[64];
    ::GetWindowTextW(window, title, 64);
    EXPECT_EQ(narrow(title), "Quorvel V0.65");
    RECT client;
    ::GetClientRect(window, &client);
    EXPECT_EQ(client.right - client.left, 370);
    EXPECT_EQ(client.bottom - client.top, 370);
    const LONG style = ::GetWindowLongW(window, GWL_STYLE);
    EXPECT_TRUE(style & WS_SYSMENU);
    EXPECT_FALSE(style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME));
    for (const ControlSpec& entry : windowControls(on.state.log.fieldCount)) {
      HWND control = on.window.control(entry.id);
      ASSERT_NE(control, nullptr) << entry.id;
      RECT rect = clientRectOf(on.window, control);
      EXPECT_EQ(rect.left, entry.x) << entry.id;
      EXPECT_EQ(rect.top, entry.y) << entry.id;
      EXPECT_EQ(rect.right - rect.left, entry.width) << entry.id;
      EXPECT_EQ(rect.bottom - rect.top, entry.height) << entry.id;
      EXPECT_EQ(::IsWindowVisible(control) != 0, true);
      const LONG controlStyle = ::GetWindowLongW(control, GWL_STYLE);
      EXPECT_EQ((controlStyle & WS_TABSTOP) != 0, takesFocus(entry.kind)) << entry.id;
      if (entry.kind == ControlKind::kSwatch) {
        EXPECT_TRUE(controlStyle & SS_NOTIFY);
      }
    }
    EXPECT_EQ(on.window.control(100 + lastChannel(on.state.log.fieldCount) + 1), nullptr);
    // The status bar: two fields of 200 pixels, the indicator inside the second.
    int edges[2] = {};
    ASSERT_EQ(::SendMessageW(on.window.statusBar(), SB_GETPARTS, 2, reinterpret_cast<LPARAM>(edges)), 2);
    EXPECT_EQ(edges[0], 200);
    EXPECT_EQ(edges[1], 400);
    RECT bar;
    ::GetWindowRect(on.window.statusBar(), &bar);
    RECT progress;
    ::GetWindowRect(on.window.progressBar(), &progress);
    EXPECT_EQ(progress.left - bar.left, 202);
    EXPECT_EQ(progress.right - progress.left, 192);
    EXPECT_GE(bar.bottom - bar.top, 18);
  }
}

TEST(Win32Window, TabFollowsCreationOrderAndWraps) {
  WindowOnLog on(logHeader(3, "\r\n") + "1\r\nz\r\n");
  ASSERT_TRUE(on.window.build());
  ::SetFocus(on.window.control(101));
  for (int id : {111, 121, 102, 112, 122, 140, 150, 101, 111}) {
    pressTab(on.window, false);
    EXPECT_EQ(focusedId(), id);
  }
  pressTab(on.window, true);
  EXPECT_EQ(focusedId(), 101);
  pressTab(on.window, true);
  EXPECT_EQ(focusedId(), 150);
}

TEST(Win32Window, CheckBoxesSwatchesAndResetChangeTheTable) {
  WindowOnLog on(logHeader(4, "\r\n") + "1\r\nz\r\n");
  on.state.channelTable[2].color = -1;
  ASSERT_TRUE(on.window.build());
  EXPECT_EQ(swatchColor(on.window.control(131)), 14418139);

  ::SendMessageW(on.window.control(101), BM_CLICK, 0, 0);
  EXPECT_EQ(on.state.channelTable[1].enabled, 0);
  ::SendMessageW(on.window.control(101), BM_CLICK, 0, 0);
  EXPECT_EQ(on.state.channelTable[1].enabled, 1);

  on.ui.colorToChoose = 255;
  ::SendMessageW(on.window.control(131), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
  ::SendMessageW(on.window.control(131), WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
  pump(on.window);
  ASSERT_EQ(on.ui.choosersOpenedAt, std::vector<int32_t>{14418139});
  EXPECT_EQ(on.state.channelTable[1].color, 255);
  EXPECT_EQ(swatchColor(on.window.control(131)), 255);
  ::SendMessageW(on.window.control(132), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
  ::SendMessageW(on.window.control(132), WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
  EXPECT_EQ(on.ui.choosersOpenedAt.back(), 0);  // a colour of -1 opens at black
  ::SendMessageW(on.window.control(131), WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(5, 5));
  ::SendMessageW(on.window.control(131), WM_RBUTTONUP, 0, MAKELPARAM(5, 5));
  EXPECT_EQ(on.ui.choosersOpenedAt.size(), 2u);  // a right click opens nothing

  ::SetWindowTextW(on.window.control(113), L"typed");
  on.state.channelTable[3].enabled = 0;
  ::SendMessageW(on.window.control(150), BM_CLICK, 0, 0);
  EXPECT_EQ(on.state.channelTable[1].color, 14418139);
  EXPECT_EQ(on.state.channelTable[3].enabled, 1);
  EXPECT_EQ(::SendMessageW(on.window.control(103), BM_GETCHECK, 0, 0), BST_CHECKED);
  wchar_t name[32];
  ::GetWindowTextW(on.window.control(113), name, 32);
  EXPECT_EQ(narrow(name), "C3");
  EXPECT_FALSE(on.window.closeRequested());
}

// Convert through the whole program: the export byte for byte as on Linux, the window closes
// by itself, the settings are saved.
TEST(Win32Window, ConvertWritesTheExportThenTheSettingsAreSaved) {
  TempDir dir;
  std::filesystem::copy_file(kData + "/three_channels.csv", dir.file("three_channels.csv"));
  std::filesystem::copy_file(kData + "/three_channels.ini", dir.file("quorvel.ini"));
  ScriptedUserInterface ui;
  ui.logToChoose = dir.file("three_channels.csv");
  ui.whenBuilt = [](SettingsWindow& window) {
    ::PostMessageW(window.control(kConvertId), BM_CLICK, 0, 0);
  };
  ProgramState state;
  runProgram(state, ui, dir.file("quorvel.ini"));
  EXPECT_TRUE(ui.errors.empty());
  EXPECT_EQ(readFile(dir.file("three_channels.dif")), readFile(kData + "/three_channels.dif"));
  ASSERT_NE(ui.window(), nullptr);
  EXPECT_TRUE(ui.window()->closeRequested());
  const std::string settings = readFile(dir.file("quorvel.ini"));
  EXPECT_NE(settings.find("[Channel3]\r\nUnit = \xC2\xB0" "C\r\nColor = 255\r\nEnabled = 1\r\n"
                          "Name = Oil - Temp\r\n"),
            std::string::npos)
      << settings;
}

TEST(Win32Window, AFailedExportIsShownAndTheWindowStaysOpen) {
  WindowOnLog on(logHeader(2, "\r\n") + "1\r\n2\r\nz\r\n");
  std::filesystem::create_directory(on.dir.file("log.dif"));  // in the export's way
  ASSERT_TRUE(on.window.build());
  ::SendMessageW(on.window.control(kConvertId), BM_CLICK, 0, 0);
  pump(on.window);
  EXPECT_FALSE(on.window.closeRequested());
  ASSERT_EQ(on.ui.errors.size(), 1u);
  EXPECT_NE(on.ui.errors[0].find("could not be written"), std::string::npos);
  EXPECT_FALSE(on.window.inputClosed());
  EXPECT_EQ(::SendMessageW(on.window.progressBar(), PBM_GETPOS, 0, 0), 0);
}

// Clicks that queue up while the export runs are not handled: what is saved is what the
// window held at Convert.
TEST(Win32Window, InputQueuedDuringConvertIsNotHandled) {
  std::string log = logHeader(4, "\r\n");
  for (int i = 0; i < 500; ++i) log += "12:00:00.000,1,2,3\r\n";
  WindowOnLog on(log + "z\r\n");
  ASSERT_TRUE(on.window.build());
  ::SendMessageW(on.window.control(103), BM_CLICK, 0, 0);  // untick channel 3 first
  ASSERT_EQ(on.state.channelTable[3].enabled, 0);
  postClick(on.window.control(101));  // queued behind the export
  postClick(on.window.control(kResetId));
  postClick(on.window.control(kConvertId));
  ::SendMessageW(on.window.control(kConvertId), BM_CLICK, 0, 0);
  pump(on.window);
  EXPECT_TRUE(on.window.closeRequested());
  EXPECT_EQ(on.state.channelTable[1].enabled, 1);
  EXPECT_EQ(on.state.channelTable[3].enabled, 0);  // no Reset
  EXPECT_NE(readFile(on.dir.file("log.dif")).find("TUPLES\r\n0,3\r\n"), std::string::npos);
}

TEST(Win32Window, TextsAreTakenAsTypedOnOneLine) {
  WindowOnLog on(logHeader(3, "\r\n") + "12:00:00.000,1,2\r\nz\r\n");
  ASSERT_TRUE(on.window.build());
  ::SetWindowTextW(on.window.control(112), widen("Oil - Temp").c_str());
  ::SetWindowTextW(on.window.control(122), widen("\xC2\xB0" "C").c_str());
  ::SendMessageW(on.window.control(kConvertId), BM_CLICK, 0, 0);
  EXPECT_EQ(on.state.channelTable[2].name, "Oil - Temp");
  EXPECT_EQ(on.state.channelTable[2].label, "Oil__Temp");
  EXPECT_NE(readFile(on.dir.file("log.dif")).find("\"Oil__Temp (\xC2\xB0" "C)\""),
            std::string::npos);
}

// A log whose name is not ASCII opens, converts, and its name shows in the status bar.
TEST(Win32Window, ANonAsciiLogNameOpensConvertsAndIsShown) {
  const std::string name = "caf\xC3\xA9 \xE2\x82\xAC 7.csv";
  WindowOnLog on(logHeader(2, "\r\n") + "12:00:00.000,1\r\nz\r\n", name);
  ASSERT_TRUE(on.window.build());
  wchar_t text[128] = {};
  ::SendMessageW(on.window.statusBar(), SB_GETTEXTW, 0, reinterpret_cast<LPARAM>(text));
  EXPECT_EQ(narrow(text), "\t" + name);
  ::SendMessageW(on.window.control(kConvertId), BM_CLICK, 0, 0);
  EXPECT_TRUE(on.ui.errors.empty());
  EXPECT_TRUE(pathExists(on.dir.file("caf\xC3\xA9 \xE2\x82\xAC 7.dif")));
}

// Moved to a monitor of 144 DPI, the window lays the same table out at one and a half times
// the size (rounded as Windows rounds: MulDiv).
TEST(Win32Window, ADpiChangeScalesTheLayout) {
  WindowOnLog on(logHeader(4, "\r\n") + "1\r\nz\r\n");
  ASSERT_TRUE(on.window.build());
  RECT outer;
  ::GetWindowRect(on.window.window(), &outer);
  RECT suggested = {outer.left, outer.top, outer.left + 600, outer.top + 620};
  ::SendMessageW(on.window.window(), WM_DPICHANGED, MAKEWPARAM(144, 144),
                 reinterpret_cast<LPARAM>(&suggested));
  EXPECT_EQ(on.window.dpi(), 144);
  for (const ControlSpec& entry : windowControls(on.state.log.fieldCount)) {
    RECT rect = clientRectOf(on.window, on.window.control(entry.id));
    auto scaled = [](int pixels) { return ::MulDiv(pixels, 144, 96); };
    EXPECT_EQ(rect.left, scaled(entry.x)) << entry.id;
    EXPECT_EQ(rect.top, scaled(entry.y)) << entry.id;
    EXPECT_EQ(rect.right - rect.left, scaled(entry.width)) << entry.id;
    EXPECT_EQ(rect.bottom - rect.top, scaled(entry.height)) << entry.id;
  }
  int edges[2] = {};
  ::SendMessageW(on.window.statusBar(), SB_GETPARTS, 2, reinterpret_cast<LPARAM>(edges));
  EXPECT_EQ(edges[0], 300);
}

}  // namespace
}  // namespace quorvel
