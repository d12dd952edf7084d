#include "settings_file.h"

#include <charconv>
#include <limits>

#include "one_line.h"
#include "paths.h"
#include "utf8.h"

namespace quorvel {

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr std::string_view kLineEnd = "\r\n";

bool isBlank(char c) { return c == ' ' || c == '\t'; }

char lowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// Names and keys match without regard to the case of A to Z; every other character exactly.
bool sameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (lowerAscii(a[i]) != lowerAscii(b[i])) return false;
  return true;
}

std::string_view trimEnd(std::string_view text) {
  while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
  return text;
}

std::string_view trimStart(std::string_view text) {
  while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
  return text;
}

int32_t parseSettingsInteger(std::string_view text) {
  text = trimStart(text);
  bool negative = false;
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  // Accumulate towards the limit on the value's own side so that both limits saturate.
  constexpr int64_t kMax = std::numeric_limits<int32_t>::max();
  constexpr int64_t kMin = std::numeric_limits<int32_t>::min();
  int64_t magnitude = 0;
  for (char c : text) {
    if (c < '0' || c > '9') break;
    magnitude = magnitude * 10 + (c - '0');
    if (magnitude > -kMin) magnitude = -kMin;  // saturate early, no overflow
  }
  int64_t value = negative ? -magnitude : magnitude;
  if (value > kMax) value = kMax;
  return static_cast<int32_t>(value);
}

}  // namespace

SettingsFile::~SettingsFile() { close(); }

bool SettingsFile::open(const std::string& path, bool forWriting) {
  close();
  path_ = path;
  isOpen_ = true;
  forWriting_ = forWriting;
  openError_.clear();
  hold_ = openSettingsFile(path, forWriting, &file_, &openError_);
  utf8Mark_ = true;
  if (hold_ == SettingsHold::kAbsent || hold_ == SettingsHold::kUnreadable) return false;
  if (!file_.isOpen()) return false;  // not created yet, and another copy holds the place

  std::string content;
  if (!file_.readAll(&content, &openError_)) {
    // Read as absent, but never replaced: its content would be lost.
    hold_ = SettingsHold::kUnreadable;
    file_.close();
    return false;
  }
  load(content);
  return true;
}

void SettingsFile::load(std::string_view bytes) {
  entries_.clear();
  currentGroup_ = kNone;
  hasPendingGroup_ = false;
  utf8Mark_ = true;
  std::string text;
  if (bytes.substr(0, kByteOrderMark.size()) == kByteOrderMark) {
    bytes.remove_prefix(kByteOrderMark.size());
    appendWellFormedUtf8(text, bytes.data(), bytes.size());
  } else if (!bytes.empty()) {
    text = latin1ToUtf8(bytes);
  } else {
    utf8Mark_ = false;  // a zero-byte file is rewritten without the mark
  }
  parse(text);
}

void SettingsFile::parse(std::string_view text) {
  size_t at = 0;
  while (at < text.size()) {
    size_t end = text.find_first_of(kLineEnd, at);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = trimStart(text.substr(at, end - at));
    at = text.find_first_not_of(kLineEnd, end);
    if (at == std::string_view::npos) at = text.size();
    if (line.empty()) continue;

    if (line.front() == ';') {
      line.remove_prefix(1);
      if (!line.empty() && line.front() == ' ') line.remove_prefix(1);
      entries_.push_back({SettingsEntry::Kind::kComment, std::string(line), {}});
    } else if (line.front() == '[') {
      line.remove_prefix(1);
      entries_.push_back({SettingsEntry::Kind::kGroup, std::string(line.substr(0, line.find(']'))), {}});
    } else {
      size_t equals = line.find('=');
      std::string_view key = trimEnd(line.substr(0, equals));
      std::string_view value =
          equals == std::string_view::npos ? std::string_view() : trimStart(line.substr(equals + 1));
      entries_.push_back({SettingsEntry::Kind::kKey, std::string(key), std::string(value)});
    }
  }
}

bool SettingsFile::selectGroup(std::string_view name) {
  for (size_t i = 0; i < entries_.size(); ++i) {
    if (entries_[i].kind == SettingsEntry::Kind::kGroup && sameName(entries_[i].text, name)) {
      currentGroup_ = i;
      hasPendingGroup_ = false;
      return true;
    }
  }
  pendingGroup_ = std::string(name);
  hasPendingGroup_ = true;
  return false;
}

size_t SettingsFile::findKey(std::string_view key) const {
  if (hasPendingGroup_ || currentGroup_ == kNone) return kNone;
  for (size_t i = currentGroup_ + 1; i < entries_.size(); ++i) {
    const SettingsEntry& entry = entries_[i];
    if (entry.kind == SettingsEntry::Kind::kGroup) break;
    if (entry.kind == SettingsEntry::Kind::kKey && sameName(entry.text, key)) return i;
  }
  return kNone;
}

int32_t SettingsFile::readInteger(std::string_view key, int32_t defaultValue) const {
  size_t at = findKey(key);
  return at == kNone ? defaultValue : parseSettingsInteger(entries_[at].value);
}

std::string SettingsFile::readText(std::string_view key, std::string defaultValue) const {
  size_t at = findKey(key);
  if (at == kNone) return defaultValue;
  return std::string(trimEnd(trimStart(entries_[at].value)));
}

void SettingsFile::writeInteger(std::string_view key, int32_t value) {
  char digits[16];
  auto result = std::to_chars(digits, digits + sizeof digits, value);
  writeText(key, std::string_view(digits, static_cast<size_t>(result.ptr - digits)));
}

void SettingsFile::writeText(std::string_view key, std::string_view value) {
  if (hasPendingGroup_) {
    entries_.push_back({SettingsEntry::Kind::kGroup, pendingGroup_, {}});
    currentGroup_ = entries_.size() - 1;
    hasPendingGroup_ = false;
  }
  modified_ = true;
  size_t at = findKey(key);
  if (at != kNone) {
    entries_[at].text = std::string(key);
    entries_[at].value = oneLine(value);
    return;
  }
  // After the current group's last entry; with no group at all, after the keys before the
  // first group header.
  size_t insertAt = currentGroup_ == kNone ? 0 : currentGroup_ + 1;
  while (insertAt < entries_.size() && entries_[insertAt].kind != SettingsEntry::Kind::kGroup)
    ++insertAt;
  entries_.insert(entries_.begin() + static_cast<std::ptrdiff_t>(insertAt),
                  {SettingsEntry::Kind::kKey, std::string(key), oneLine(value)});
}

std::string SettingsFile::render() const {
  std::string out;
  if (utf8Mark_) {
    out += kByteOrderMark;
    out += kLineEnd;
  }
  bool firstGroup = true;
  for (const SettingsEntry& entry : entries_) {
    switch (entry.kind) {
      case SettingsEntry::Kind::kGroup:
        if (!firstGroup) out += kLineEnd;
        firstGroup = false;
        out += '[';
        out += entry.text;
        out += ']';
        break;
      case SettingsEntry::Kind::kComment:
        out += "; ";
        out += entry.text;
        break;
      case SettingsEntry::Kind::kKey:
        out += entry.text;
        out += " = ";
        out += entry.value;
        break;
    }
    out += kLineEnd;
  }
  return out;
}

bool SettingsFile::close(std::string* err) {
  if (!isOpen_) return true;
  bool ok = true;
  if (modified_ && forWriting_) {
    if (hold_ == SettingsHold::kReadWrite || hold_ == SettingsHold::kAbsent) {
      // A per-user settings folder is made only now, when there is something to keep in it.
      const std::string folder = directoryPart(path_);
      std::string reason;
      if (hold_ == SettingsHold::kAbsent && !folder.empty() && !pathExists(folder) &&
          !createDirectories(folder, &reason)) {
        ok = false;
        if (err) *err = "cannot create the folder: " + reason;
      } else {
        ok = replaceHeldFile(&file_, path_, render(), err);
      }
    } else {
      // Held elsewhere, read-only or unreadable: the changes are not saved, and say so.
      ok = false;
      if (err) *err = openError_.empty() ? "may not be written" : openError_;
    }
  }
  file_.close();
  isOpen_ = false;
  entries_.clear();
  currentGroup_ = kNone;
  hasPendingGroup_ = false;
  modified_ = false;
  return ok;
}

}  // namespace quorvel
