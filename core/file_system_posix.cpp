// The file layer on POSIX systems: advisory locks (flock) stand in for Windows' share modes.
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "file_system.h"

namespace quorvel {

namespace {

// Not an errno value: a path that names a FIFO, a device or a socket where a file is needed.
constexpr int kNotRegularFile = -2;

// The reason for an errno value, in words a user understands.
std::string describeError(int error) {
  switch (error) {
    case kNotRegularFile: return "not a regular file";
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

// Writes all bytes, going on after short writes and interrupts: where the file's position is,
// or from offset on (without moving the position) when offset is not negative.
bool writeAll(int file, const char* data, size_t size, std::string* err, off_t offset = -1) {
  while (size > 0) {
    ssize_t written = offset < 0 ? ::write(file, data, size) : ::pwrite(file, data, size, offset);
    if (written < 0) {
      if (errno == EINTR) continue;
      setError(err, errno);
      return false;
    }
    data += written;
    size -= static_cast<size_t>(written);
    if (offset >= 0) offset += written;
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

// Opens path with flags without ever blocking (a FIFO would wait for a writer) and only if it
// is a regular file. Returns the descriptor, or -1 with *error (an errno or kNotRegularFile).
int openRegularFile(const std::string& path, int flags, int* error) {
  int handle = ::open(path.c_str(), flags | O_NONBLOCK | O_CLOEXEC);
  if (handle < 0) {
    *error = errno;
    return -1;
  }
  struct stat info;
  if (::fstat(handle, &info) != 0) {
    *error = errno;
    ::close(handle);
    return -1;
  }
  if (!S_ISREG(info.st_mode)) {
    *error = S_ISDIR(info.st_mode) ? EISDIR : kNotRegularFile;
    ::close(handle);
    return -1;
  }
  ::fcntl(handle, F_SETFL, ::fcntl(handle, F_GETFL) & ~O_NONBLOCK);
  return handle;
}

// Takes an exclusive lock on the open file, waiting for it or not.
LockOutcome lockExclusive(int handle, bool wait) {
  for (;;) {
    if (::flock(handle, LOCK_EX | (wait ? 0 : LOCK_NB)) == 0) return LockOutcome::kLocked;
    if (errno != EINTR) return lockOutcomeForError(errno);
  }
}

// Whether path names the file open as handle (no rename has put another file there).
bool namesOpenFile(const std::string& path, int handle) {
  struct stat named, open;
  return ::stat(path.c_str(), &named) == 0 && ::fstat(handle, &open) == 0 &&
         named.st_dev == open.st_dev && named.st_ino == open.st_ino;
}

// Opens folder, or the nearest existing folder above it, for locking. -1 when none opens.
int openNearestFolder(std::string folder) {
  for (int depth = 0; depth < 64; ++depth) {
    int handle = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (handle >= 0 || errno != ENOENT || folder == "/" || folder == ".") return handle;
    folder = folderOf(folder);
  }
  return -1;
}

// Removes the temporaries for the file name in folder that a killed program left: those that
// no live process holds locked. Our own temporaries are locked from creation to commit.
void removeStaleTemporaries(const std::string& folder, const std::string& name) {
  DIR* listing = ::opendir(folder.c_str());
  if (!listing) return;
  while (const dirent* entry = ::readdir(listing)) {
    if (!isTemporaryFor(entry->d_name, name)) continue;
    std::string path = folder + "/" + entry->d_name;
    int handle = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    if (handle < 0) continue;
    struct stat info;
    if (::fstat(handle, &info) == 0 && S_ISREG(info.st_mode) &&
        lockExclusive(handle, /*wait=*/false) == LockOutcome::kLocked &&
        namesOpenFile(path, handle))
      ::unlink(path.c_str());
    ::close(handle);
  }
  ::closedir(listing);
}

// The temporaries being written, for the interrupt handler: plain buffers and flags, which is
// all a signal handler may touch.
constexpr int kInterruptSlots = 4;
char interruptPaths[kInterruptSlots][PATH_MAX];
volatile sig_atomic_t interruptSlotUsed[kInterruptSlots];

int registerTemporary(const std::string& path) {
  if (path.size() >= PATH_MAX) return -1;
  for (int slot = 0; slot < kInterruptSlots; ++slot) {
    if (interruptSlotUsed[slot]) continue;
    std::memcpy(interruptPaths[slot], path.c_str(), path.size() + 1);
    interruptSlotUsed[slot] = 1;
    return slot;
  }
  return -1;
}

void unregisterTemporary(int slot) {
  if (slot >= 0) interruptSlotUsed[slot] = 0;
}

// Holds SIGINT, SIGTERM and SIGHUP back for its lifetime (they are delivered afterwards), so
// that a temporary and the handler's record of it change together.
class InterruptsDeferred {
 public:
  InterruptsDeferred() {
    sigset_t interrupts;
    sigemptyset(&interrupts);
    sigaddset(&interrupts, SIGINT);
    sigaddset(&interrupts, SIGTERM);
    sigaddset(&interrupts, SIGHUP);
    ::pthread_sigmask(SIG_BLOCK, &interrupts, &previous_);
  }
  ~InterruptsDeferred() { ::pthread_sigmask(SIG_SETMASK, &previous_, nullptr); }

 private:
  sigset_t previous_;
};

extern "C" void onInterrupt(int signal) {
  for (int slot = 0; slot < kInterruptSlots; ++slot)
    if (interruptSlotUsed[slot]) ::unlink(interruptPaths[slot]);
  // End as the signal would have ended the program, so the caller sees 128 + signal.
  ::signal(signal, SIG_DFL);
  ::raise(signal);
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

bool InputFile::readAt(uint64_t offset, char* buffer, size_t capacity, size_t* got,
                       std::string* err) {
  for (;;) {
    ssize_t n = ::pread(fd(handle_), buffer, capacity, static_cast<off_t>(offset));
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

bool InputFile::rewind(std::string* err) {
  if (::lseek(fd(handle_), 0, SEEK_SET) == 0) return true;
  setError(err, errno);
  return false;
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

LockOutcome lockOutcomeForError(int error) {
  return error == EWOULDBLOCK || error == EAGAIN ? LockOutcome::kHeld : LockOutcome::kUnsupported;
}

bool openLog(const std::string& path, InputFile* file, std::string* err) {
  int error = 0;
  int handle = openRegularFile(path, O_RDONLY, &error);
  if (handle < 0) {
    setError(err, error);
    return false;
  }
  file->adopt(handle);
  if (lockExclusive(handle, /*wait=*/false) == LockOutcome::kHeld) {
    setError(err, EWOULDBLOCK);
    file->close();
    return false;
  }
  return true;
}

SettingsHold openSettingsFile(const std::string& path, bool forWriting, InputFile* file,
                              std::string* err) {
  file->close();
  // A few rounds at most: each retry follows another copy's rewrite that landed meanwhile.
  for (int round = 0; forWriting && round < 8; ++round) {
    int error = 0;
    int handle = openRegularFile(path, O_RDWR, &error);
    if (handle >= 0) {
      struct stat info;
      if (::fstat(handle, &info) == 0 && (info.st_mode & 0222) == 0) {
        ::close(handle);  // read-only by its mode: root could write it, but must not
        if (err) *err = "the file is read-only";
        break;
      }
      file->adopt(handle);
      if (lockExclusive(handle, /*wait=*/false) == LockOutcome::kHeld) {
        // Another copy of the program holds it: read it, but leave the rewrite to that copy.
        setError(err, EWOULDBLOCK);
        return SettingsHold::kReadOnly;
      }
      // Another copy may have renamed its rewrite over the path between the open and the
      // lock: then the file held is no longer the settings file.
      if (namesOpenFile(path, handle)) return SettingsHold::kReadWrite;
      file->close();
      continue;
    }
    if (error != ENOENT) break;  // may not be written, or no file: try reading only
    // Not there yet: hold the folder that will hold it until the rewrite has created it.
    int folder = openNearestFolder(folderOf(path));
    if (folder >= 0) {
      file->adopt(folder);
      if (lockExclusive(folder, /*wait=*/false) == LockOutcome::kHeld) {
        file->close();
        setError(err, EWOULDBLOCK);
        return SettingsHold::kReadOnly;  // with nothing to read
      }
      if (pathExists(path)) {  // another copy created it meanwhile: take it as it is now
        file->close();
        continue;
      }
    }
    setError(err, ENOENT);
    return SettingsHold::kAbsent;
  }
  int error = 0;
  int handle = openRegularFile(path, O_RDONLY, &error);
  if (handle < 0) {
    setError(err, error);
    return error == ENOENT ? SettingsHold::kAbsent : SettingsHold::kUnreadable;
  }
  file->adopt(handle);
  if (forWriting && err && err->empty()) *err = "may not be written";
  return SettingsHold::kReadOnly;
}

AtomicOutputFile::~AtomicOutputFile() { abandon(); }

bool AtomicOutputFile::create(const std::string& path, std::string* err) {
  abandon();
  target_ = resolveLinks(path);
  const std::string folder = folderOf(target_);
  const size_t slash = target_.find_last_of('/');
  const std::string name = slash == std::string::npos ? target_ : target_.substr(slash + 1);
  struct stat existing;
  const bool exists = ::stat(target_.c_str(), &existing) == 0;
  if (exists && S_ISREG(existing.st_mode) && (existing.st_mode & 0222) == 0) {
    if (err) *err = "the file is read-only";
    return false;
  }
  removeStaleTemporaries(folder, name);

  int handle = -1;
  for (int round = 0; handle < 0 && round < 8; ++round) {
    temporary_ = folder + "/" + temporaryPrefix(name) + "XXXXXX";
    {
      // The interrupt handler must know the temporary from the moment it exists.
      InterruptsDeferred deferred;
      handle = ::mkostemp(temporary_.data(), O_CLOEXEC);
      if (handle >= 0) interruptSlot_ = registerTemporary(temporary_);
    }
    if (handle < 0) {
      setError(err, errno);
      temporary_.clear();
      return false;
    }
    // Held while written, so that no other export's clean-up takes it for a stale one. A
    // clean-up that took it between the creation and the lock has removed it: make another.
    lockExclusive(handle, /*wait=*/true);
    if (!namesOpenFile(temporary_, handle)) {
      ::close(handle);
      handle = -1;
      unregisterTemporary(interruptSlot_);
      interruptSlot_ = -1;
    }
  }
  if (handle < 0) {
    if (err) *err = "cannot keep a temporary file in the folder";
    temporary_.clear();
    return false;
  }
  handle_ = handle;
  // Keep the owner (where the process may: root saving a user's file) and the permission bits
  // of the file being replaced; a new file gets the usual ones.
  mode_t mode;
  if (exists) {
    if (::fchown(handle, existing.st_uid, existing.st_gid) != 0) {
      // EPERM: an ordinary user cannot give a file away; the file then becomes the user's.
    }
    mode = existing.st_mode & 07777;
  } else {
    mode_t mask = ::umask(0);
    ::umask(mask);
    mode = 0666 & ~mask;
  }
  ::fchmod(handle, mode);
  return true;
}

bool AtomicOutputFile::write(const char* data, size_t size, std::string* err) {
  if (!writeAll(fd(handle_), data, size, err)) return false;
  written_ += size;
#if defined(__linux__)
  // Start writing large files out to disk while the rest is still being made, so that the
  // flush at the commit waits for little more than the last stretch.
  // The stretch before that one is on disk by then (or soon): once it is, its pages leave the
  // cache, so a large export reuses the same memory instead of filling the cache with itself.
  constexpr uint64_t kWriteBehind = 8 << 20;
  if (written_ - flushStarted_ >= kWriteBehind) {
    const int file = fd(handle_);
    if (flushStarted_ > 0) {
      ::sync_file_range(file, static_cast<off_t>(dropped_),
                        static_cast<off_t>(flushStarted_ - dropped_),
                        SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE |
                            SYNC_FILE_RANGE_WAIT_AFTER);
      ::posix_fadvise(file, static_cast<off_t>(dropped_),
                      static_cast<off_t>(flushStarted_ - dropped_), POSIX_FADV_DONTNEED);
      dropped_ = flushStarted_;
    }
    ::sync_file_range(file, static_cast<off_t>(flushStarted_),
                      static_cast<off_t>(written_ - flushStarted_), SYNC_FILE_RANGE_WRITE);
    flushStarted_ = written_;
  }
#endif
  return true;
}

bool AtomicOutputFile::startAt(uint64_t offset, std::string* err) {
  if (::lseek(fd(handle_), static_cast<off_t>(offset), SEEK_SET) < 0) {
    setError(err, errno);
    return false;
  }
  written_ = flushStarted_ = dropped_ = offset;
  return true;
}

bool AtomicOutputFile::writeAt(uint64_t offset, const char* data, size_t size,
                               std::string* err) {
  return writeAll(fd(handle_), data, size, err, static_cast<off_t>(offset));
}

bool AtomicOutputFile::commit(std::string* err) {
  int handle = fd(handle_);
  bool ok = ::fsync(handle) == 0;
  if (!ok) setError(err, errno);
  // Renamed while still open and locked, so no clean-up can take it for a stale one; and
  // forgotten by the interrupt handler in the same step, so it never removes the export.
  if (ok) {
    InterruptsDeferred deferred;
    if (::rename(temporary_.c_str(), target_.c_str()) == 0) {
      unregisterTemporary(interruptSlot_);
      interruptSlot_ = -1;
    } else {
      setError(err, errno);
      ok = false;
    }
  }
  if (!ok) {
    abandon();
    return false;
  }
  temporary_.clear();
  ::close(handle);
  handle_ = -1;
  // Make the rename itself durable.
  int folder = ::open(folderOf(target_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder >= 0) {
    ::fsync(folder);
    ::close(folder);
  }
  return true;
}

void AtomicOutputFile::abandon() {
  unregisterTemporary(interruptSlot_);
  interruptSlot_ = -1;
  if (!temporary_.empty()) ::unlink(temporary_.c_str());
  if (handle_ >= 0) ::close(fd(handle_));
  handle_ = -1;
  temporary_.clear();
}

bool replaceHeldFile(InputFile* held, const std::string& path, std::string_view content,
                     std::string* err) {
  // The lock stays until the new content is in place.
  bool ok = replaceFile(path, content, err);
  held->close();
  return ok;
}

bool fileIdentity(const std::string& path, FileIdentity* identity, std::string* err) {
  struct stat info;
  if (::stat(path.c_str(), &info) != 0) {
    setError(err, errno);
    return false;
  }
  identity->device = static_cast<uint64_t>(info.st_dev);
  identity->index = static_cast<uint64_t>(info.st_ino);
  return true;
}

bool pathExists(const std::string& path) {
  struct stat info;
  return ::stat(path.c_str(), &info) == 0;
}

bool createDirectories(const std::string& path, std::string* err) {
  std::error_code error;
  std::filesystem::create_directories(path, error);
  if (error) {
    if (err) *err = describeErrorCode(error);
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

void prepareMemory(void* data, size_t size) {
#if defined(MADV_POPULATE_WRITE)
  // Whole pages only, in steps, so the reader can start on the first ones meanwhile.
  constexpr uintptr_t kPage = 4096;
  constexpr uintptr_t kStep = uintptr_t{4} << 20;
  uintptr_t begin = (reinterpret_cast<uintptr_t>(data) + kPage - 1) & ~(kPage - 1);
  uintptr_t end = (reinterpret_cast<uintptr_t>(data) + size) & ~(kPage - 1);
  for (uintptr_t at = begin; at < end; at += kStep) {
    size_t length = static_cast<size_t>(std::min(kStep, end - at));
    if (::madvise(reinterpret_cast<void*>(at), length, MADV_POPULATE_WRITE) != 0) return;
  }
#else
  (void)data;
  (void)size;
#endif
}

std::vector<std::string> commandLineArguments(int argc, char** argv) {
  return std::vector<std::string>(argv + 1, argv + argc);
}

bool standardErrorIsTerminal() { return ::isatty(STDERR_FILENO) == 1; }

void removeTemporariesOnInterrupt() {
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
    struct sigaction previous;
    if (::sigaction(signal, nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN)
      continue;  // started to ignore it (nohup, a background job): keep ignoring it
    struct sigaction action = {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    ::sigaction(signal, &action, nullptr);
  }
}

}  // namespace quorvel
