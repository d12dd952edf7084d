// The parts of the file layer that are the same on every platform.
#include "file_system.h"

#include <cstdio>

namespace quorvel {

namespace {

constexpr std::string_view kTemporaryStart = ".quorvel-";
constexpr size_t kTemporarySuffix = 6;  // the random part after the prefix

}  // namespace

bool InputFile::readAll(std::string* content, std::string* err) {
  content->clear();
  uint64_t expected = 0;
  if (size(&expected, nullptr)) content->reserve(static_cast<size_t>(expected));
  char block[1 << 16];
  for (;;) {
    size_t got = 0;
    if (!read(block, sizeof block, &got, err)) return false;
    if (got == 0) return true;
    content->append(block, got);
  }
}

bool replaceFile(const std::string& path, std::string_view content, std::string* err) {
  AtomicOutputFile file;
  return file.create(path, err) && file.write(content.data(), content.size(), err) &&
         file.commit(err);
}

bool isSameFile(const std::string& a, const std::string& b) {
  FileIdentity first, second;
  return fileIdentity(a, &first, nullptr) && fileIdentity(b, &second, nullptr) && first == second;
}

std::string temporaryPrefix(std::string_view fileName) {
  // FNV-1a: a short, stable tag of the destination's name, so that its temporaries are found
  // again without a name that grows with the destination's.
  uint32_t hash = 2166136261u;
  for (char c : fileName) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 16777619u;
  }
  char tag[9];
  std::snprintf(tag, sizeof tag, "%08x", static_cast<unsigned>(hash));
  return std::string(kTemporaryStart) + tag + "-";
}

bool isTemporaryFor(std::string_view entryName, std::string_view fileName) {
  std::string prefix = temporaryPrefix(fileName);
  if (entryName.size() == prefix.size() + kTemporarySuffix && entryName.starts_with(prefix))
    return true;
  // Earlier versions: "." + the destination's name + "." + six characters.
  return entryName.size() == fileName.size() + 2 + kTemporarySuffix && entryName[0] == '.' &&
         entryName.substr(1, fileName.size()) == fileName &&
         entryName[fileName.size() + 1] == '.';
}

std::string describeErrorCode(const std::error_code& error) {
  // Compared with the portable conditions, so a Windows error code and an errno value that
  // mean the same read the same.
  if (error == std::errc::no_such_file_or_directory) return "not found";
  if (error == std::errc::permission_denied || error == std::errc::operation_not_permitted)
    return "permission denied";
  if (error == std::errc::not_a_directory) return "a part of the path is not a folder";
  if (error == std::errc::is_a_directory) return "is a folder";
  if (error == std::errc::no_space_on_device) return "the disk is full";
  if (error == std::errc::read_only_file_system) return "the file system is read-only";
  if (error == std::errc::filename_too_long) return "the path is too long";
  if (error == std::errc::file_exists) return "a file of that name is in the way";
  if (error == std::errc::io_error) return "input/output error";
  return error.message();
}

}  // namespace quorvel
