// UTF-8 inside, UTF-16 at the Windows API: the conversions, used by the Windows file layer and
// the Win32 window. Windows only.
#pragma once

#include <string>

namespace quorvel {

// The UTF-8 text as UTF-16 for the Windows API.
std::wstring widen(const std::string& text);

// The UTF-16 text from the Windows API as UTF-8.
std::string narrow(const std::wstring& wide);

}  // namespace quorvel
