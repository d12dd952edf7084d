#include "settings_window.h"

#include <commctrl.h>

#include <algorithm>

#include "user_interface.h"
#include "windows_text.h"

namespace quorvel {

namespace {

constexpr wchar_t kWindowClass[] = L"QuorvelSettingsWindow";
constexpr int kStatusBarId = 200;
constexpr int kProgressId = 201;
constexpr ULONGLONG kRepaintMs = 30;
constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU;  // fixed, close button only
constexpr DWORD kExStyle = WS_EX_CONTROLPARENT;

bool isUserInput(UINT message) {
  return (message >= WM_KEYFIRST && message <= WM_KEYLAST) ||
         (message >= WM_MOUSEFIRST && message <= WM_MOUSELAST) ||
         message == WM_NCLBUTTONDOWN || message == WM_NCLBUTTONDBLCLK;
}

// A 24-bit picture of side x side pixels, every pixel the colour (0x00BBGGRR; the top byte is
// ignored). Null when it cannot be made.
HBITMAP swatchPicture(int side, int32_t color) {
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = side;
  info.bmiHeader.biHeight = side;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP picture = ::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (!picture || !bits) return picture;
  const auto value = static_cast<uint32_t>(color);
  const int stride = (side * 3 + 3) & ~3;
  auto* rows = static_cast<unsigned char*>(bits);
  for (int y = 0; y < side; ++y) {
    for (int x = 0; x < side; ++x) {
      unsigned char* pixel = rows + y * stride + x * 3;  // blue, green, red
      pixel[0] = static_cast<unsigned char>(value >> 16);
      pixel[1] = static_cast<unsigned char>(value >> 8);
      pixel[2] = static_cast<unsigned char>(value);
    }
  }
  return picture;
}

// The system's default GUI font at the window's DPI.
HFONT guiFont(int dpi) {
  LOGFONTW font = {};
  ::GetObjectW(::GetStockObject(DEFAULT_GUI_FONT), sizeof font, &font);
  font.lfHeight = ::MulDiv(font.lfHeight, dpi, 96);
  return ::CreateFontIndirectW(&font);
}

// The text shortened in the middle (with "…") until it fits width pixels in font.
std::wstring elideMiddle(const std::wstring& text, HFONT font, int width) {
  HDC context = ::GetDC(nullptr);
  HGDIOBJ previous = ::SelectObject(context, font);
  auto fits = [&](const std::wstring& candidate) {
    SIZE size = {};
    ::GetTextExtentPoint32W(context, candidate.c_str(), static_cast<int>(candidate.size()), &size);
    return size.cx <= width;
  };
  std::wstring shown = text;
  for (size_t cut = 1; !fits(shown) && cut < text.size(); ++cut) {
    const size_t keep = text.size() - cut;
    shown = text.substr(0, (keep + 1) / 2) + L"\u2026" + text.substr(text.size() - keep / 2);
  }
  ::SelectObject(context, previous);
  ::ReleaseDC(nullptr, context);
  return shown;
}

}  // namespace

SettingsWindow::SettingsWindow(ProgramState& state, UserInterface& ui)
    : state_(state), ui_(ui), model_(state, *this) {}

SettingsWindow::~SettingsWindow() {
  if (window_) ::DestroyWindow(window_);
  for (HBITMAP picture : swatches_)
    if (picture) ::DeleteObject(picture);
  if (font_) ::DeleteObject(font_);
}

bool SettingsWindow::build() {
  HINSTANCE instance = ::GetModuleHandleW(nullptr);
  WNDCLASSEXW windowClass = {};
  windowClass.cbSize = sizeof windowClass;
  if (!::GetClassInfoExW(instance, kWindowClass, &windowClass)) {
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = windowProcedure;
    windowClass.hInstance = instance;
    windowClass.hCursor = ::LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    windowClass.hIcon = ::LoadIconW(instance, MAKEINTRESOURCEW(1));
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);  // dialog colour
    windowClass.lpszClassName = kWindowClass;
    if (!::RegisterClassExW(&windowClass)) return false;
  }
  window_ = ::CreateWindowExW(kExStyle, kWindowClass, widen(kWindowTitle).c_str(), kStyle,
                              CW_USEDEFAULT, CW_USEDEFAULT, kClientWidth, kClientHeight, nullptr,
                              nullptr, instance, this);
  if (!window_) return false;
  dpi_ = static_cast<int>(::GetDpiForWindow(window_));
  if (dpi_ <= 0) dpi_ = 96;
  font_ = guiFont(dpi_);

  // The outer size for a client area of 370 x 370 (scaled), centred on the primary screen.
  RECT outer = {0, 0, scale(kClientWidth), scale(kClientHeight)};
  ::AdjustWindowRectExForDpi(&outer, kStyle, FALSE, kExStyle, static_cast<UINT>(dpi_));
  const int width = outer.right - outer.left;
  const int height = outer.bottom - outer.top;
  const int left = std::max(0, (::GetSystemMetrics(SM_CXSCREEN) - width) / 2);
  const int top = std::max(0, (::GetSystemMetrics(SM_CYSCREEN) - height) / 2);
  ::SetWindowPos(window_, nullptr, left, top, width, height, SWP_NOZORDER | SWP_NOACTIVATE);

  createControls();
  model_.showAll();
  attachStatusBar();
  layOut();
  ::ShowWindow(window_, SW_SHOWNORMAL);
  ::UpdateWindow(window_);
  // The focus starts on the first control that takes it, as in a dialog.
  HWND first = ::GetNextDlgTabItem(window_, nullptr, FALSE);
  if (first) ::SetFocus(first);
  return true;
}

void SettingsWindow::createControls() {
  HINSTANCE instance = ::GetModuleHandleW(nullptr);
  for (const ControlSpec& entry : windowControls(state_.log.fieldCount)) {
    const wchar_t* className = L"STATIC";
    DWORD style = WS_CHILD | WS_VISIBLE;
    DWORD exStyle = 0;
    switch (entry.kind) {
      case ControlKind::kHeading:
        style |= SS_CENTER;
        break;
      case ControlKind::kCheckBox:
        className = L"BUTTON";
        style |= WS_TABSTOP | BS_AUTOCHECKBOX;
        break;
      case ControlKind::kEdit:
        className = L"EDIT";
        style |= WS_TABSTOP | ES_AUTOHSCROLL;
        exStyle = WS_EX_CLIENTEDGE;
        break;
      case ControlKind::kSwatch:
        style |= SS_BITMAP | SS_NOTIFY;  // a picture that reports clicks
        break;
      case ControlKind::kButton:
        className = L"BUTTON";
        style |= WS_TABSTOP | BS_PUSHBUTTON;
        break;
    }
    ::CreateWindowExW(exStyle, className, widen(entry.caption).c_str(), style, 0, 0, 0, 0,
                      window_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(entry.id)), instance,
                      nullptr);
  }
}

void SettingsWindow::layOut() {
  // Every control at the table's place, scaled to the window's DPI, in the font of that DPI.
  for (const ControlSpec& entry : windowControls(state_.log.fieldCount)) {
    HWND control = this->control(entry.id);
    ::SetWindowPos(control, nullptr, scale(entry.x), scale(entry.y), scale(entry.width),
                   scale(entry.height), SWP_NOZORDER | SWP_NOACTIVATE);
    ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font_), TRUE);
  }

  ::SendMessageW(statusBar_, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
  ::SendMessageW(statusBar_, SB_SETMINHEIGHT, static_cast<WPARAM>(scale(kStatusMinimumHeight)), 0);
  ::SendMessageW(statusBar_, WM_SIZE, 0, 0);
  int edges[2] = {scale(kStatusFieldWidth), scale(2 * kStatusFieldWidth)};
  ::SendMessageW(statusBar_, SB_SETPARTS, 2, reinterpret_cast<LPARAM>(edges));
  // A tab before the text centres it in its field.
  const std::wstring name = widen(model_.statusFileName());
  const std::wstring shown = L"\t" + elideMiddle(name, font_, scale(kStatusFieldWidth - 8));
  ::SendMessageW(statusBar_, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(shown.c_str()));
  ::SendMessageW(statusBar_, SB_SETTEXTW, 1 | SBT_NOBORDERS, reinterpret_cast<LPARAM>(L""));
  RECT field = {};
  ::SendMessageW(statusBar_, SB_GETRECT, 1, reinterpret_cast<LPARAM>(&field));
  const Margins& m = kProgressMargins;
  ::SetWindowPos(progress_, nullptr, scale(kStatusFieldWidth + m.left), field.top + scale(m.top),
                 scale(kStatusFieldWidth - m.left - m.right),
                 (field.bottom - field.top) - scale(m.top) - scale(m.bottom),
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

void SettingsWindow::attachStatusBar() {
  HINSTANCE instance = ::GetModuleHandleW(nullptr);
  // No size grip; tooltips show a name that does not fit. Placed by layOut().
  statusBar_ = ::CreateWindowExW(0, STATUSCLASSNAMEW, nullptr,
                                 WS_CHILD | WS_VISIBLE | SBARS_TOOLTIPS, 0, 0, 0, 0, window_,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(kStatusBarId)),
                                 instance, nullptr);
  ::SendMessageW(statusBar_, SB_SETTIPTEXTW, 0,
                 reinterpret_cast<LPARAM>(widen(state_.logPath).c_str()));
  progress_ = ::CreateWindowExW(0, PROGRESS_CLASSW, nullptr, WS_CHILD | WS_VISIBLE | PBS_SMOOTH,
                                0, 0, 0, 0, statusBar_,
                                reinterpret_cast<HMENU>(static_cast<INT_PTR>(kProgressId)),
                                instance, nullptr);
  // A range of 0 to 0 would leave the indicator undefined: a log without rows gets 0 to 1.
  progressMaximum_ = model_.progressMaximum();
  ::SendMessageW(progress_, PBM_SETRANGE32, 0, std::max(progressMaximum_, 1));
  ::SendMessageW(progress_, PBM_SETPOS, 0, 0);
}

void SettingsWindow::runEventLoop() {
  MSG msg;
  while (!closeRequested_ && ::GetMessageW(&msg, nullptr, 0, 0) > 0) handleMessage(msg);
}

void SettingsWindow::handleMessage(MSG& msg) {
  // From "Convert" on, input queued while the export ran reaches no control.
  if (inputClosed_ && isUserInput(msg.message)) return;
  // Enter presses the focused push button, as Space does.
  if (msg.message == WM_KEYDOWN && msg.wParam == VK_RETURN) {
    HWND focus = ::GetFocus();
    const int id = focus ? ::GetDlgCtrlID(focus) : 0;
    if (::GetParent(focus) == window_ && (id == kConvertId || id == kResetId)) {
      ::SendMessageW(focus, BM_CLICK, 0, 0);
      return;
    }
  }
  // Tab and Shift+Tab through the controls in creation order, wrapping at the ends.
  if (::IsDialogMessageW(window_, &msg)) return;
  ::TranslateMessage(&msg);
  ::DispatchMessageW(&msg);
}

LRESULT CALLBACK SettingsWindow::windowProcedure(HWND window, UINT message, WPARAM w, LPARAM l) {
  if (message == WM_NCCREATE) {
    auto* self = static_cast<SettingsWindow*>(reinterpret_cast<CREATESTRUCTW*>(l)->lpCreateParams);
    ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    self->window_ = window;
  }
  auto* self = reinterpret_cast<SettingsWindow*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
  return self ? self->handle(message, w, l) : ::DefWindowProcW(window, message, w, l);
}

LRESULT SettingsWindow::handle(UINT message, WPARAM w, LPARAM l) {
  switch (message) {
    case WM_COMMAND:
      if (l != 0) command(LOWORD(w), HIWORD(w));
      return 0;
    case WM_CLOSE:
      // The window stays on screen, no longer answering, while the settings are saved.
      closeRequested_ = true;
      return 0;
    case WM_SIZE:
      if (statusBar_) ::SendMessageW(statusBar_, WM_SIZE, 0, 0);
      return 0;
    case WM_DPICHANGED: {
      // Moved to a monitor of another DPI: the same layout at the new scale, in the size and
      // place the system suggests.
      dpi_ = HIWORD(w);
      HFONT previous = font_;
      font_ = guiFont(dpi_);
      const RECT* suggested = reinterpret_cast<const RECT*>(l);
      ::SetWindowPos(window_, nullptr, suggested->left, suggested->top,
                     suggested->right - suggested->left, suggested->bottom - suggested->top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
      layOut();
      // Swatch pictures are made at the window's DPI: new ones at the new size.
      for (int n = 1; n <= model_.channelRows(); ++n) showSwatch(n, state_.channelTable[n].color);
      if (previous) ::DeleteObject(previous);
      return 0;
    }
    default:
      return ::DefWindowProcW(window_, message, w, l);
  }
}

void SettingsWindow::command(int id, int notification) {
  if (id == kConvertId && notification == BN_CLICKED) {
    model_.convert();
  } else if (id == kResetId && notification == BN_CLICKED) {
    model_.reset();
  } else if (id > 100 && id < 110 && notification == BN_CLICKED) {
    const int n = id - 100;
    model_.checkBoxClicked(n, ::SendMessageW(control(id), BM_GETCHECK, 0, 0) == BST_CHECKED);
  } else if (id > 130 && id < 140 && notification == STN_CLICKED) {
    model_.swatchClicked(id - 130);  // a left click; double clicks and others are not
  }
}

std::string SettingsWindow::editText(int id) {
  HWND edit = control(id);
  const int length = ::GetWindowTextLengthW(edit);
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  ::GetWindowTextW(edit, text.data(), length + 1);
  text.resize(static_cast<size_t>(length));
  return narrow(text);
}

void SettingsWindow::showChannel(int n, const ChannelSettings& channel) {
  ::SendMessageW(control(checkBoxId(n)), BM_SETCHECK,
                 channel.enabled != 0 ? BST_CHECKED : BST_UNCHECKED, 0);
  ::SetWindowTextW(control(nameFieldId(n)), widen(channel.name).c_str());
  ::SetWindowTextW(control(unitFieldId(n)), widen(channel.unit).c_str());
  showSwatch(n, channel.color);
}

void SettingsWindow::showSwatch(int n, int32_t color) {
  HBITMAP picture = swatchPicture(scale(20), color);
  HWND swatch = control(swatchId(n));
  ::SendMessageW(swatch, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(picture));
  // SS_BITMAP sizes the control to its picture: keep the table's box.
  ::SetWindowPos(swatch, nullptr, 0, 0, scale(20), scale(20), SWP_NOMOVE | SWP_NOZORDER);
  if (swatches_[n]) ::DeleteObject(swatches_[n]);
  swatches_[n] = picture;
}

int32_t SettingsWindow::chooseColor(int32_t initial) { return ui_.chooseColor(initial); }

void SettingsWindow::setProgress(int32_t rows) {
  ::SendMessageW(progress_, PBM_SETPOS, static_cast<WPARAM>(rows), 0);
  // The export runs inside the Convert handler, so nothing paints meanwhile: paint at once,
  // but at most every 30 ms, and always the first and the last value.
  const ULONGLONG now = ::GetTickCount64();
  if (now - lastPaint_ >= kRepaintMs || rows <= 0 || rows >= progressMaximum_) {
    ::UpdateWindow(progress_);
    lastPaint_ = now;
  }
}

void SettingsWindow::showError(const std::string& text) { ui_.showError(text); }

void SettingsWindow::setInputClosed(bool closed) {
  if (!closed) {
    // Drop the input that queued while it was shut out.
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, WM_KEYFIRST, WM_KEYLAST, PM_REMOVE)) {
    }
    while (::PeekMessageW(&msg, nullptr, WM_MOUSEFIRST, WM_MOUSELAST, PM_REMOVE)) {
    }
  }
  inputClosed_ = closed;
}

void SettingsWindow::requestClose() { ::PostMessageW(window_, WM_CLOSE, 0, 0); }

}  // namespace quorvel
