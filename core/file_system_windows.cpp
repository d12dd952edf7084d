// The file layer on Windows: share modes hold the files, wide-character paths throughout.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <shellapi.h>
#include <io.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "file_system.h"

namespace quorvel {

namespace {

std::wstring widen(const std::string& text) {
  if (text.empty()) return {};
  int length = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(length), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
  return wide;
}

std::string narrow(const std::wstring& wide) {
  if (wide.empty()) return {};
  int length = ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0,
                                     nullptr, nullptr);
  std::string text(static_cast<size_t>(length), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), text.data(), length,
                        nullptr, nullptr);
  return text;
}

// The reason for a Windows error code, in words a user understands.
std::string describeError(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND: return "not found";
    case ERROR_ACCESS_DENIED: return "permission denied";
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION: return "held by another program";
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: return "the disk is full";
    case ERROR_DIRECTORY: return "a part of the path is not a folder";
    case ERROR_WRITE_PROTECT: return "the disk is write-protected";
    case ERROR_FILENAME_EXCED_RANGE: return "the path is too long";
    default: {
      wchar_t* message = nullptr;
      ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                           FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, error, 0, reinterpret_cast<wchar_t*>(&message), 0, nullptr);
      std::string text = message ? narrow(message) : "error " + std::to_string(error);
      if (message) ::LocalFree(message);
      while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == '.'))
        text.pop_back();
      return text;
    }
  }
}

void setError(std::string* err, DWORD error) {
  if (err) *err = describeError(error);
}

HANDLE handleOf(intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

bool isFolder(const std::wstring& path) {
  DWORD attributes = ::GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

HANDLE openShared(const std::wstring& path, DWORD access, DWORD share) {
  return ::CreateFileW(path.c_str(), access, share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                       nullptr);
}

std::atomic<unsigned> temporaryCounter{0};

}  // namespace

InputFile::~InputFile() { close(); }

void InputFile::close() {
  if (handle_ != kNoHandle) ::CloseHandle(handleOf(handle_));
  handle_ = kNoHandle;
}

bool InputFile::read(char* buffer, size_t capacity, size_t* got, std::string* err) {
  DWORD chunk = capacity > (1u << 30) ? (1u << 30) : static_cast<DWORD>(capacity);
  DWORD n = 0;
  if (!::ReadFile(handleOf(handle_), buffer, chunk, &n, nullptr)) {
    setError(err, ::GetLastError());
    return false;
  }
  *got = n;
  return true;
}

bool InputFile::size(uint64_t* bytes, std::string* err) const {
  LARGE_INTEGER size;
  if (!::GetFileSizeEx(handleOf(handle_), &size)) {
    setError(err, ::GetLastError());
    return false;
  }
  *bytes = static_cast<uint64_t>(size.QuadPart);
  return true;
}

bool openLog(const std::string& path, InputFile* file, std::string* err) {
  std::wstring wide = widen(path);
  if (isFolder(wide)) {
    if (err) *err = "is a folder";
    return false;
  }
  // No sharing: while the log is read, no other program has it open.
  HANDLE handle = openShared(wide, GENERIC_READ, 0);
  if (handle == INVALID_HANDLE_VALUE) {
    setError(err, ::GetLastError());
    return false;
  }
  file->adopt(reinterpret_cast<intptr_t>(handle));
  return true;
}

SettingsHold openSettingsFile(const std::string& path, bool forWriting, InputFile* file,
                              std::string* err) {
  file->close();
  std::wstring wide = widen(path);
  if (isFolder(wide)) {
    if (err) *err = "is a folder";
    return SettingsHold::kUnreadable;
  }
  if (forWriting) {
    // Held for the rewrite: others may read it (and the rewrite may rename over it).
    HANDLE handle = openShared(wide, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE);
    if (handle != INVALID_HANDLE_VALUE) {
      file->adopt(reinterpret_cast<intptr_t>(handle));
      return SettingsHold::kReadWrite;
    }
    DWORD error = ::GetLastError();
    if (error == ERROR_FILE_NOT_FOUND) {
      setError(err, error);
      return SettingsHold::kAbsent;
    }
    handle = openShared(wide, GENERIC_READ, FILE_SHARE_READ);
    if (handle != INVALID_HANDLE_VALUE) {
      file->adopt(reinterpret_cast<intptr_t>(handle));
      if (err) *err = "may not be written";
      return SettingsHold::kReadOnly;
    }
  }
  // Read only, sharing reading and writing: a second copy of the program gets here.
  HANDLE handle = openShared(wide, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
  if (handle == INVALID_HANDLE_VALUE) {
    DWORD error = ::GetLastError();
    setError(err, error);
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? SettingsHold::kAbsent
                                                                          : SettingsHold::kUnreadable;
  }
  file->adopt(reinterpret_cast<intptr_t>(handle));
  if (forWriting && err) *err = "held by another program";
  return SettingsHold::kReadOnly;
}

AtomicOutputFile::~AtomicOutputFile() { abandon(); }

bool AtomicOutputFile::create(const std::string& path, std::string* err) {
  abandon();
  target_ = path;
  temporary_ = path + ".tmp-" + std::to_string(::GetCurrentProcessId()) + "-" +
               std::to_string(temporaryCounter++);
  HANDLE handle = ::CreateFileW(widen(temporary_).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_HIDDEN, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    setError(err, ::GetLastError());
    temporary_.clear();
    return false;
  }
  handle_ = reinterpret_cast<intptr_t>(handle);
  return true;
}

bool AtomicOutputFile::write(const char* data, size_t size, std::string* err) {
  while (size > 0) {
    DWORD chunk = size > (1u << 30) ? (1u << 30) : static_cast<DWORD>(size);
    DWORD written = 0;
    if (!::WriteFile(handleOf(handle_), data, chunk, &written, nullptr)) {
      setError(err, ::GetLastError());
      return false;
    }
    data += written;
    size -= written;
  }
  return true;
}

bool AtomicOutputFile::commit(std::string* err) {
  bool ok = ::FlushFileBuffers(handleOf(handle_)) != 0;
  if (!ok) setError(err, ::GetLastError());
  ::CloseHandle(handleOf(handle_));
  handle_ = -1;
  if (ok) {
    std::wstring temporary = widen(temporary_);
    ::SetFileAttributesW(temporary.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (!::MoveFileExW(temporary.c_str(), widen(target_).c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      setError(err, ::GetLastError());
      ok = false;
    }
  }
  if (!ok) {
    abandon();
    return false;
  }
  temporary_.clear();
  return true;
}

void AtomicOutputFile::abandon() {
  if (handle_ != -1) ::CloseHandle(handleOf(handle_));
  handle_ = -1;
  if (!temporary_.empty()) ::DeleteFileW(widen(temporary_).c_str());
  temporary_.clear();
}

bool replaceHeldFile(InputFile* held, const std::string& path, std::string_view content,
                     std::string* err) {
  AtomicOutputFile file;
  bool written = file.create(path, err) && file.write(content.data(), content.size(), err);
  // Windows cannot rename over a file that is open: release it only now, with the new
  // content complete beside it.
  held->close();
  return written && file.commit(err);
}

bool isSameFile(const std::string& a, const std::string& b) {
  auto identify = [](const std::string& path, BY_HANDLE_FILE_INFORMATION* info) {
    HANDLE handle = ::CreateFileW(widen(path).c_str(), 0,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return false;
    bool ok = ::GetFileInformationByHandle(handle, info) != 0;
    ::CloseHandle(handle);
    return ok;
  };
  BY_HANDLE_FILE_INFORMATION first, second;
  if (!identify(a, &first) || !identify(b, &second)) return false;
  return first.dwVolumeSerialNumber == second.dwVolumeSerialNumber &&
         first.nFileIndexHigh == second.nFileIndexHigh && first.nFileIndexLow == second.nFileIndexLow;
}

bool pathExists(const std::string& path) {
  return ::GetFileAttributesW(widen(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool createDirectories(const std::string& path, std::string* err) {
  std::error_code error;
  std::filesystem::path folder(widen(path));
  std::filesystem::create_directories(folder, error);
  if (error || !std::filesystem::is_directory(folder, error)) {
    if (err) *err = error ? describeError(static_cast<DWORD>(error.value())) : "not a folder";
    return false;
  }
  return true;
}

bool isFolderWritable(const std::string& folder) {
  // Access rights on Windows are best learnt by trying.
  AtomicOutputFile probe;
  return probe.create(folder + "\\quorvel-write-test", nullptr);
}

std::string userConfigFolder() {
  const wchar_t* appData = ::_wgetenv(L"APPDATA");
  return appData ? narrow(appData) : std::string();
}

bool programPath(std::string* path, std::string* err) {
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    DWORD length = ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) {
      setError(err, ::GetLastError());
      return false;
    }
    if (length < buffer.size()) {
      buffer.resize(length);
      *path = narrow(buffer);
      return true;
    }
    buffer.resize(buffer.size() * 2);
  }
}

void adviseLargeBuffer(void*, size_t) {}

bool standardErrorIsTerminal() { return ::_isatty(_fileno(stderr)) != 0; }

std::vector<std::string> commandLineArguments(int, char**) {
  // The narrow argv is in the ANSI code page; the wide command line holds every path exactly.
  int count = 0;
  wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  std::vector<std::string> arguments;
  for (int i = 1; i < count; ++i) arguments.push_back(narrow(wide[i]));
  ::LocalFree(wide);
  return arguments;
}

}  // namespace quorvel
