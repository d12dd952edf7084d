// The thin platform layer: opening, locking, reading and safely replacing files, and the
// program's own path. Every failure comes back as a reason a person understands.
// One implementation per platform: file_system_posix.cpp, file_system_windows.cpp.
#pragma once

#include <compare>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace quorvel {

// A file open for reading. Closed by close() or on destruction.
class InputFile {
 public:
  InputFile() = default;
  ~InputFile();
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  // Reads up to capacity bytes; *got is 0 at the end. Returns false with *err on failure.
  bool read(char* buffer, size_t capacity, size_t* got, std::string* err);
  // Reads the rest of the file into *content. Returns false with *err on failure.
  bool readAll(std::string* content, std::string* err);
  // Reads up to capacity bytes from offset on, without moving where read() goes on; *got is
  // 0 at the end. Several threads may read one file this way at once. Returns false with
  // *err on failure.
  bool readAt(uint64_t offset, char* buffer, size_t capacity, size_t* got, std::string* err);
  // Goes back to the file's first byte, for reading it again. Returns false with *err.
  bool rewind(std::string* err);
  // The file's size in bytes. Returns false with *err on failure (err may be null).
  bool size(uint64_t* bytes, std::string* err) const;
  bool isOpen() const { return handle_ != kNoHandle; }
  // Releases the file and any lock held on it.
  void close();
  // Takes ownership of a platform file handle (for the platform layer itself).
  void adopt(intptr_t handle) {
    close();
    handle_ = handle;
  }

 private:
  static constexpr intptr_t kNoHandle = -1;
  intptr_t handle_ = kNoHandle;
};

// Opens the log for reading only, held so that no other program has it at the same time (on
// POSIX an exclusive advisory lock, skipped where the file system cannot lock, as on some
// network file systems). Never blocks: a FIFO or device is refused before it is read.
// Returns false with *err: "not found", "permission denied", "is a folder", "not a regular
// file", "held by another program", ...
bool openLog(const std::string& path, InputFile* file, std::string* err);

#ifndef _WIN32
// What a failed flock() means: only "would block" is another holder; a file system that
// cannot lock (EBADF on NFS for a read-only file, ENOLCK, EOPNOTSUPP, ...) is used unlocked.
enum class LockOutcome { kLocked, kHeld, kUnsupported };
LockOutcome lockOutcomeForError(int error);
#endif

// How the settings file was found when it was opened.
enum class SettingsHold {
  kReadWrite,   // held for the rewrite: no other copy of the program may rewrite it meanwhile
  kReadOnly,    // read; another copy holds it, or it may not be written: never rewritten
  kAbsent,      // does not exist: created at the rewrite
  kUnreadable,  // exists but cannot be read (a folder, no permission): never replaced
};

// Opens the settings file. With forWriting, tries to hold it for a later rewrite; without, or
// when that is refused, opens it for reading only. *err says why it is not kReadWrite.
// A FIFO or device at path is kUnreadable ("not a regular file"), never waited on. A file
// without any write permission bit counts as read-only also for a user who could write it.
// POSIX: while the file does not exist yet, its folder (or the nearest existing one above)
// is locked instead, so that a second copy of the program started meanwhile finds it held
// (kReadOnly, with file not open) and never saves over the first copy's choices.
SettingsHold openSettingsFile(const std::string& path, bool forWriting, InputFile* file,
                              std::string* err);

// A file written under a temporary name in the destination's folder and moved over the
// destination only by commit(), once complete and flushed to disk. Abandoned (the temporary
// removed, the destination untouched) when not committed.
//
// Temporaries are named ".quorvel-HHHHHHHH-XXXXXX" (H: a hash of the destination's file name),
// short whatever the destination's name, and held (locked on POSIX, opened unshared on
// Windows) while written. create() first removes the stale temporaries of a program that was
// killed while writing the same destination: those no live process holds.
class AtomicOutputFile {
 public:
  AtomicOutputFile() = default;
  ~AtomicOutputFile();
  AtomicOutputFile(const AtomicOutputFile&) = delete;
  AtomicOutputFile& operator=(const AtomicOutputFile&) = delete;

  // Creates the temporary file for path. A symbolic link at path keeps pointing at the file
  // it names, which is the one replaced; an existing file's permission bits and (where the
  // process may set it) its owner are kept. An existing file without write permission is
  // not replaced: false with *err "the file is read-only". Returns false with *err on failure.
  bool create(const std::string& path, std::string* err);
  // Writes all bytes. Returns false with *err on failure (a full disk, an I/O error).
  bool write(const char* data, size_t size, std::string* err);
  // Makes the next write() start at offset, leaving the bytes before it for writeAt(): for
  // a writer that knows the length of its beginning before it knows its content. Returns
  // false with *err on failure.
  bool startAt(uint64_t offset, std::string* err);
  // Writes all bytes at offset, without moving where write() goes on. Returns false with
  // *err on failure.
  bool writeAt(uint64_t offset, const char* data, size_t size, std::string* err);
  // Flushes to disk and moves the file into place. Returns false with *err on failure, after
  // which the temporary is gone and the destination untouched.
  bool commit(std::string* err);
  // Removes the temporary file, if any.
  void abandon();

 private:
  std::string target_;
  std::string temporary_;
  intptr_t handle_ = -1;
  int interruptSlot_ = -1;  // where the interrupt handler finds temporary_ (POSIX)
  uint64_t written_ = 0;        // bytes written so far
  uint64_t flushStarted_ = 0;   // bytes whose writing out to disk has been started (POSIX)
  uint64_t dropped_ = 0;        // bytes written out and dropped from the cache (POSIX)
};

// Replaces the file at path with content through an AtomicOutputFile.
bool replaceFile(const std::string& path, std::string_view content, std::string* err);

// Replaces the file at path, which held is holding open (or not), with content, and releases
// held: after the new content is in place where the platform allows it (POSIX), or just before
// the final rename where an open file cannot be replaced (Windows).
bool replaceHeldFile(InputFile* held, const std::string& path, std::string_view content,
                     std::string* err);

// Whether both paths name one existing file (also through links). False when either is absent.
bool isSameFile(const std::string& a, const std::string& b);

// What makes an existing file or folder itself, whatever path names it: its device (volume)
// and its number there.
struct FileIdentity {
  uint64_t device = 0;
  uint64_t index = 0;
  auto operator<=>(const FileIdentity&) const = default;
};

// The identity of the file or folder at path (links followed). Returns false with *err.
bool fileIdentity(const std::string& path, FileIdentity* identity, std::string* err);

// The prefix of the temporaries written for a destination file named fileName (no folder).
std::string temporaryPrefix(std::string_view fileName);

// Whether entryName (a name in a folder) is one of our temporaries for fileName: one with
// temporaryPrefix, or one named by earlier versions ("." + fileName + "." + 6 characters).
bool isTemporaryFor(std::string_view entryName, std::string_view fileName);

// The reason for a failure reported through std::error_code, in the same words as the rest
// of the file layer, on every platform.
std::string describeErrorCode(const std::error_code& error);

// Makes SIGINT, SIGTERM and SIGHUP first remove the temporaries being written, then end the
// program as the signal would (exit status 128 + signal). Windows: nothing to install; a
// killed program's temporaries are removed by the next export into the same folder.
void removeTemporariesOnInterrupt();

// Whether a file or folder exists at path.
bool pathExists(const std::string& path);

// Creates the folder and its missing parents. Returns false with *err on failure.
bool createDirectories(const std::string& path, std::string* err);

// Whether the current user may create files in the folder.
bool isFolderWritable(const std::string& folder);

// The folder for per-user configuration: $XDG_CONFIG_HOME, else $HOME/.config (POSIX);
// %APPDATA% (Windows). Empty when the environment names none.
std::string userConfigFolder();

// The full path of the running program's own executable. Returns false with *err on failure.
bool programPath(std::string* path, std::string* err);

// Takes the page faults of a large buffer that is about to be filled (Linux: populated for
// writing), so that they can be taken on another thread ahead of the one that fills it. Its
// contents do not change. Elsewhere, or where the system cannot, nothing happens.
void prepareMemory(void* data, size_t size);

// The program's arguments (without its name) as UTF-8, whatever the platform's encoding.
std::vector<std::string> commandLineArguments(int argc, char** argv);

// Whether the standard error stream is a terminal (for progress output).
bool standardErrorIsTerminal();

}  // namespace quorvel
