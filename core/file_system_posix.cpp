// The file layer on POSIX systems: advisory locks (flock) stand in for Windows' share modes.
#include <fcntl.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <climits>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "file_system.h"

namespace quorvel {

namespace {

// The reason for an errno value, in words a user understands.
std::string describeError(int error) {
  switch (error) {
    case ENOENT: return "not found";
    case EACCES:
    case EPERM: return "permission denied";
    case EISDIR: return "is a folder";
    case ENOTDIR: return "a part of the path is not a folder";
    case ENOSPC: return "the disk is full";
    case EDQUOT: return "the disk quota is exhausted";
    case EFBIG: return "the file is too large";
    case EROFS: return "the file system is read-only";
    case EWOULDBLOCK: return "held by another program";
    case ENAMETOOLONG: return "the path is too long";
    case EIO: return "input/output error";
    default: return std::strerror(error);
  }
}

void setError(std::string* err, int error) {
  if (err) *err = describeError(error);
}

int fd(intptr_t handle) { return static_cast<int>(handle); }

// Writes all bytes, going on after short writes and interrupts.
bool writeAll(int file, const char* data, size_t size, std::string* err) {
  while (size > 0) {
    ssize_t written = ::write(file, data, size);
    if (written < 0) {
      if (errno == EINTR) continue;
      setError(err, errno);
      return false;
    }
    data += written;
    size -= static_cast<size_t>(written);
  }
  return true;
}

std::string folderOf(const std::string& path) {
  size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// Follows symbolic links at path to the file they finally name, so that a replace rewrites the
// target and keeps the link. A path that is no link is returned as it is.
std::string resolveLinks(const std::string& path) {
  std::string current = path;
  for (int hops = 0; hops < 40; ++hops) {
    char target[PATH_MAX];
    ssize_t length = ::readlink(current.c_str(), target, sizeof target - 1);
    if (length < 0) return current;
    std::string next(target, static_cast<size_t>(length));
    current = next.front() == '/' ? next : folderOf(current) + "/" + next;
  }
  return current;
}

}  // namespace

InputFile::~InputFile() { close(); }

void InputFile::close() {
  if (handle_ != kNoHandle) ::close(fd(handle_));  // closing also drops the lock
  handle_ = kNoHandle;
}

bool InputFile::read(char* buffer, size_t capacity, size_t* got, std::string* err) {
  for (;;) {
    ssize_t n = ::read(fd(handle_), buffer, capacity);
    if (n >= 0) {
      *got = static_cast<size_t>(n);
      return true;
    }
    if (errno != EINTR) {
      setError(err, errno);
      return false;
    }
  }
}

bool InputFile::size(uint64_t* bytes, std::string* err) const {
  struct stat info;
  if (::fstat(fd(handle_), &info) != 0) {
    setError(err, errno);
    return false;
  }
  *bytes = static_cast<uint64_t>(info.st_size);
  return true;
}

bool openLog(const std::string& path, InputFile* file, std::string* err) {
  int handle = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (handle < 0) {
    setError(err, errno);
    return false;
  }
  file->adopt(handle);
  struct stat info;
  if (::fstat(handle, &info) != 0) {
    setError(err, errno);
    file->close();
    return false;
  }
  if (S_ISDIR(info.st_mode)) {
    setError(err, EISDIR);
    file->close();
    return false;
  }
  if (::flock(handle, LOCK_EX | LOCK_NB) != 0) {
    setError(err, errno == EWOULDBLOCK ? EWOULDBLOCK : errno);
    file->close();
    return false;
  }
  return true;
}

SettingsHold openSettingsFile(const std::string& path, bool forWriting, InputFile* file,
                              std::string* err) {
  file->close();
  if (forWriting) {
    int handle = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (handle >= 0) {
      file->adopt(handle);
      struct stat info;
      if (::fstat(handle, &info) == 0 && S_ISREG(info.st_mode)) {
        if (::flock(handle, LOCK_EX | LOCK_NB) == 0) return SettingsHold::kReadWrite;
        // Another copy of the program holds it: read it, but leave the rewrite to that copy.
        setError(err, EWOULDBLOCK);
        return SettingsHold::kReadOnly;
      }
      file->close();
    } else if (errno == ENOENT) {
      setError(err, ENOENT);
      return SettingsHold::kAbsent;
    }
  }
  int handle = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (handle < 0) {
    int error = errno;
    setError(err, error);
    return error == ENOENT ? SettingsHold::kAbsent : SettingsHold::kUnreadable;
  }
  file->adopt(handle);
  struct stat info;
  if (::fstat(handle, &info) != 0) {
    setError(err, errno);
    file->close();
    return SettingsHold::kUnreadable;
  }
  if (!S_ISREG(info.st_mode)) {
    setError(err, S_ISDIR(info.st_mode) ? EISDIR : EACCES);
    file->close();
    return SettingsHold::kUnreadable;
  }
  if (forWriting && err && err->empty()) *err = "may not be written";
  return SettingsHold::kReadOnly;
}

AtomicOutputFile::~AtomicOutputFile() { abandon(); }

bool AtomicOutputFile::create(const std::string& path, std::string* err) {
  abandon();
  target_ = resolveLinks(path);
  std::string name = target_;
  size_t slash = name.find_last_of('/');
  std::string base = slash == std::string::npos ? name : name.substr(slash + 1);
  temporary_ = folderOf(target_) + "/." + base + ".XXXXXX";
  int handle = ::mkostemp(temporary_.data(), O_CLOEXEC);
  if (handle < 0) {
    setError(err, errno);
    temporary_.clear();
    return false;
  }
  handle_ = handle;
  // Keep the permission bits of the file being replaced; a new file gets the usual ones.
  struct stat info;
  mode_t mode;
  if (::stat(target_.c_str(), &info) == 0) {
    mode = info.st_mode & 07777;
  } else {
    mode_t mask = ::umask(0);
    ::umask(mask);
    mode = 0666 & ~mask;
  }
  ::fchmod(handle, mode);
  return true;
}

bool AtomicOutputFile::write(const char* data, size_t size, std::string* err) {
  return writeAll(fd(handle_), data, size, err);
}

bool AtomicOutputFile::commit(std::string* err) {
  int handle = fd(handle_);
  bool ok = ::fsync(handle) == 0;
  if (!ok) setError(err, errno);
  if (::close(handle) != 0 && ok) {
    setError(err, errno);
    ok = false;
  }
  handle_ = -1;
  if (ok && ::rename(temporary_.c_str(), target_.c_str()) != 0) {
    setError(err, errno);
    ok = false;
  }
  if (!ok) {
    abandon();
    return false;
  }
  temporary_.clear();
  // Make the rename itself durable.
  int folder = ::open(folderOf(target_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder >= 0) {
    ::fsync(folder);
    ::close(folder);
  }
  return true;
}

void AtomicOutputFile::abandon() {
  if (handle_ >= 0) ::close(fd(handle_));
  handle_ = -1;
  if (!temporary_.empty()) ::unlink(temporary_.c_str());
  temporary_.clear();
}

bool replaceHeldFile(InputFile* held, const std::string& path, std::string_view content,
                     std::string* err) {
  // The lock stays until the new content is in place.
  bool ok = replaceFile(path, content, err);
  held->close();
  return ok;
}

bool isSameFile(const std::string& a, const std::string& b) {
  struct stat first, second;
  if (::stat(a.c_str(), &first) != 0 || ::stat(b.c_str(), &second) != 0) return false;
  return first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

bool pathExists(const std::string& path) {
  struct stat info;
  return ::stat(path.c_str(), &info) == 0;
}

bool createDirectories(const std::string& path, std::string* err) {
  std::error_code error;
  std::filesystem::create_directories(path, error);
  if (error) {
    setError(err, error.value());
    return false;
  }
  struct stat info;
  if (::stat(path.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
    setError(err, ENOTDIR);
    return false;
  }
  return true;
}

bool isFolderWritable(const std::string& folder) {
  return ::access(folder.empty() ? "." : folder.c_str(), W_OK | X_OK) == 0;
}

std::string userConfigFolder() {
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  if (xdg && xdg[0] == '/') return xdg;
  const char* home = std::getenv("HOME");
  if (home && home[0] != '\0') return std::string(home) + "/.config";
  return {};
}

bool programPath(std::string* path, std::string* err) {
  char buffer[PATH_MAX];
  ssize_t length = ::readlink("/proc/self/exe", buffer, sizeof buffer);
  if (length < 0) {
    setError(err, errno);
    return false;
  }
  path->assign(buffer, static_cast<size_t>(length));
  return true;
}

void adviseLargeBuffer(void* data, size_t size) {
#if defined(MADV_HUGEPAGE)
  constexpr uintptr_t kHugePage = uintptr_t{2} << 20;
  uintptr_t begin = (reinterpret_cast<uintptr_t>(data) + kHugePage - 1) & ~(kHugePage - 1);
  uintptr_t end = (reinterpret_cast<uintptr_t>(data) + size) & ~(kHugePage - 1);
  if (end > begin) ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#else
  (void)data;
  (void)size;
#endif
}

std::vector<std::string> commandLineArguments(int argc, char** argv) {
  return std::vector<std::string>(argv + 1, argv + argc);
}

bool standardErrorIsTerminal() { return ::isatty(STDERR_FILENO) == 1; }

}  // namespace quorvel
