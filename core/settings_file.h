// An INI-style settings file held in memory: groups, comments and "key = value" lines, read
// whole at open and rewritten whole at close. Knows nothing about channels.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "file_system.h"

namespace quorvel {

// One line of the file as it is kept: a group header, a comment or a key with its value.
struct SettingsEntry {
  enum class Kind { kGroup, kComment, kKey };
  Kind kind;
  std::string text;   // group name, comment text or key
  std::string value;  // a key's value
};

class SettingsFile {
 public:
  SettingsFile() = default;
  ~SettingsFile();
  SettingsFile(const SettingsFile&) = delete;
  SettingsFile& operator=(const SettingsFile&) = delete;

  // Closes the file open before (rewriting it if due), then loads the file at path. With
  // forWriting the file is held for the rewrite at close; without, it is only read. A file
  // that does not exist, or cannot be read, gives no entries. Returns whether an existing
  // file was read; openError() then says why not.
  bool open(const std::string& path, bool forWriting = true);

  // Replaces the entries with those of a file's bytes (mark, encoding and lines as read
  // from a file), without touching any file.
  void load(std::string_view bytes);

  // Makes the first group of that name (A-Z compared without case) current. Returns whether
  // it exists; if not, the first write creates it at the end.
  bool selectGroup(std::string_view name);

  // The first value of key in the current group as an integer: blanks, one sign, digits;
  // saturated to the 32-bit range; 0 when there is no digit. defaultValue when there is no key.
  int32_t readInteger(std::string_view key, int32_t defaultValue) const;

  // The first value of key in the current group with blanks trimmed at both ends;
  // defaultValue when there is no key.
  std::string readText(std::string_view key, std::string defaultValue) const;

  // Sets key in the current group in decimal; see writeText.
  void writeInteger(std::string_view key, int32_t value);

  // Sets the first key of that name in the current group (taking the letters of key), or adds
  // it after the group's last entry. A CR, LF or NUL in value is stored as a space: a value is
  // one line. Marks the file for rewriting.
  void writeText(std::string_view key, std::string_view value);

  // Rewrites the file if anything was written and the file may be written (held for writing,
  // or absent: then its missing folders are created), then releases it. Returns false with *err when the rewrite failed, or when
  // changes made for writing could not be saved at all (another copy holds the file, it is
  // read-only or unreadable); the file then stays as it was.
  bool close(std::string* err = nullptr);

  // How the file is held; why it was not read or cannot be written; the text a rewrite writes.
  SettingsHold hold() const { return hold_; }
  const std::string& openError() const { return openError_; }
  std::string render() const;
  const std::vector<SettingsEntry>& entries() const { return entries_; }

 private:
  // Index of the first key of that name in the current group, or npos.
  size_t findKey(std::string_view key) const;
  void parse(std::string_view text);

  static constexpr size_t kNone = static_cast<size_t>(-1);
  std::string path_;
  InputFile file_;
  bool isOpen_ = false;
  bool forWriting_ = false;
  SettingsHold hold_ = SettingsHold::kAbsent;
  std::string openError_;
  bool utf8Mark_ = true;
  std::vector<SettingsEntry> entries_;
  size_t currentGroup_ = kNone;
  std::string pendingGroup_;
  bool hasPendingGroup_ = false;
  bool modified_ = false;
};

}  // namespace quorvel
