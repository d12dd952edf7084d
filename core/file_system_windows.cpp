// The file layer on Windows: share modes hold the files, wide-character paths throughout.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <shellapi.h>
#include <io.h>

#include <atomic>
#include <cstdio>
#include <cwchar>
#include <cwctype>
#include <filesystem>
#include <system_error>

#include "file_system.h"
#include "windows_text.h"

namespace quorvel {

namespace {

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
    case ERROR_BAD_FILE_TYPE: return "not a regular file";
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

// For reading or writing at offset on a handle opened for synchronous use.
OVERLAPPED overlappedAt(uint64_t offset) {
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  return at;
}

bool isFolder(const std::wstring& path) {
  DWORD attributes = ::GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Opens an existing file; a device (NUL, CON, a pipe) is refused as "not a regular file".
HANDLE openShared(const std::wstring& path, DWORD access, DWORD share, std::string* err = nullptr) {
  HANDLE handle = ::CreateFileW(path.c_str(), access, share, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle != INVALID_HANDLE_VALUE && ::GetFileType(handle) != FILE_TYPE_DISK) {
    ::CloseHandle(handle);
    if (err) *err = "not a regular file";
    ::SetLastError(ERROR_BAD_FILE_TYPE);
    return INVALID_HANDLE_VALUE;
  }
  return handle;
}

std::atomic<unsigned> temporaryCounter{0};

// The name of the mutex that holds the place of a settings file not yet created: one per full
// path (compared without case, as Windows does), for this session's programs.
std::wstring settingsPlaceName(const std::wstring& path) {
  wchar_t full[32768];
  DWORD length = ::GetFullPathNameW(path.c_str(), 32768, full, nullptr);
  std::wstring name = length > 0 && length < 32768 ? std::wstring(full, length) : path;
  uint64_t hash = 1469598103934665603ull;  // FNV-1a over the upper-cased path
  for (wchar_t c : name) {
    hash ^= static_cast<uint64_t>(::towupper(c));
    hash *= 1099511628211ull;
  }
  wchar_t text[64];
  swprintf(text, 64, L"Local\\quorvel-settings-%016llx", static_cast<unsigned long long>(hash));
  return text;
}

std::string folderOf(const std::string& path) {
  size_t slash = path.find_last_of("\\/");
  return slash == std::string::npos ? "." : path.substr(0, slash);
}

// Removes the temporaries for the file name in folder that a killed program left. A live
// writer has its temporary open without delete sharing, so only stale ones can be deleted.
void removeStaleTemporaries(const std::string& folder, const std::string& name) {
  WIN32_FIND_DATAW found;
  HANDLE search = ::FindFirstFileW(widen(folder + "\\.*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    std::string entry = narrow(found.cFileName);
    if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && isTemporaryFor(entry, name)) {
      std::wstring path = widen(folder + "\\" + entry);
      ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
      if (!::DeleteFileW(path.c_str())) ::SetFileAttributesW(path.c_str(), found.dwFileAttributes);
    }
  } while (::FindNextFileW(search, &found));
  ::FindClose(search);
}

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

bool InputFile::readAt(uint64_t offset, char* buffer, size_t capacity, size_t* got,
                       std::string* err) {
  DWORD chunk = capacity > (1u << 30) ? (1u << 30) : static_cast<DWORD>(capacity);
  OVERLAPPED at = overlappedAt(offset);
  DWORD n = 0;
  if (!::ReadFile(handleOf(handle_), buffer, chunk, &n, &at)) {
    DWORD error = ::GetLastError();
    if (error != ERROR_HANDLE_EOF) {
      setError(err, error);
      return false;
    }
    n = 0;
  }
  *got = n;
  return true;
}

bool InputFile::rewind(std::string* err) {
  LARGE_INTEGER start{};
  if (::SetFilePointerEx(handleOf(handle_), start, nullptr, FILE_BEGIN)) return true;
  setError(err, ::GetLastError());
  return false;
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
  HANDLE handle = openShared(wide, GENERIC_READ, 0, err);
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
      // Not there yet: hold the place with a mutex named after the path until the rewrite
      // has created the file, so a second copy started meanwhile reads only.
      HANDLE place = ::CreateMutexW(nullptr, FALSE, settingsPlaceName(wide).c_str());
      if (place && ::GetLastError() == ERROR_ALREADY_EXISTS) {
        ::CloseHandle(place);
        if (err) *err = "held by another program";
        return SettingsHold::kReadOnly;  // with nothing to read
      }
      if (place) file->adopt(reinterpret_cast<intptr_t>(place));
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
  DWORD attributes = ::GetFileAttributesW(widen(path).c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY) &&
      (attributes & FILE_ATTRIBUTE_READONLY)) {
    if (err) *err = "the file is read-only";
    return false;
  }
  const std::string folder = folderOf(path);
  const size_t slash = path.find_last_of("\\/");
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  removeStaleTemporaries(folder, name);
  // Six characters after the prefix, as the stale-temporary rule expects: a mix of the
  // process and a count, retried on a clash.
  HANDLE handle = INVALID_HANDLE_VALUE;
  DWORD error = ERROR_FILE_EXISTS;
  for (int round = 0; handle == INVALID_HANDLE_VALUE && error == ERROR_FILE_EXISTS && round < 64;
       ++round) {
    static const char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
    unsigned value = ::GetCurrentProcessId() * 2654435761u + temporaryCounter++ * 40503u;
    std::string suffix(6, '0');
    for (char& c : suffix) {
      c = kDigits[value % 36];
      value /= 36;
    }
    temporary_ = folder + "\\" + temporaryPrefix(name) + suffix;
    handle = ::CreateFileW(widen(temporary_).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_HIDDEN, nullptr);
    if (handle == INVALID_HANDLE_VALUE) error = ::GetLastError();
  }
  if (handle == INVALID_HANDLE_VALUE) {
    setError(err, error);
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

bool AtomicOutputFile::startAt(uint64_t offset, std::string* err) {
  LARGE_INTEGER at;
  at.QuadPart = static_cast<LONGLONG>(offset);
  if (::SetFilePointerEx(handleOf(handle_), at, nullptr, FILE_BEGIN)) return true;
  setError(err, ::GetLastError());
  return false;
}

bool AtomicOutputFile::writeAt(uint64_t offset, const char* data, size_t size,
                               std::string* err) {
  // A write at an offset moves the file pointer too: put it back afterwards.
  LARGE_INTEGER none{}, position;
  if (!::SetFilePointerEx(handleOf(handle_), none, &position, FILE_CURRENT)) {
    setError(err, ::GetLastError());
    return false;
  }
  while (size > 0) {
    DWORD chunk = size > (1u << 30) ? (1u << 30) : static_cast<DWORD>(size);
    OVERLAPPED at = overlappedAt(offset);
    DWORD written = 0;
    if (!::WriteFile(handleOf(handle_), data, chunk, &written, &at)) {
      setError(err, ::GetLastError());
      return false;
    }
    data += written;
    size -= written;
    offset += written;
  }
  if (!::SetFilePointerEx(handleOf(handle_), position, nullptr, FILE_BEGIN)) {
    setError(err, ::GetLastError());
    return false;
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

bool fileIdentity(const std::string& path, FileIdentity* identity, std::string* err) {
  HANDLE handle = ::CreateFileW(widen(path).c_str(), 0,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    setError(err, ::GetLastError());
    return false;
  }
  BY_HANDLE_FILE_INFORMATION info;
  bool ok = ::GetFileInformationByHandle(handle, &info) != 0;
  if (!ok) setError(err, ::GetLastError());
  ::CloseHandle(handle);
  if (!ok) return false;
  identity->device = info.dwVolumeSerialNumber;
  identity->index = (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  return true;
}

bool pathExists(const std::string& path) {
  return ::GetFileAttributesW(widen(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool createDirectories(const std::string& path, std::string* err) {
  std::error_code error;
  std::filesystem::path folder(widen(path));
  std::filesystem::create_directories(folder, error);
  if (error || !std::filesystem::is_directory(folder, error)) {
    // std::filesystem reports errno-style or Windows codes by category: described by meaning.
    if (err) *err = error ? describeErrorCode(error) : "a part of the path is not a folder";
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

void prepareMemory(void*, size_t) {}

void removeTemporariesOnInterrupt() {}

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
