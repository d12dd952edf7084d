// The parts of the file layer that are the same on every platform.
#include "file_system.h"

namespace quorvel {

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

}  // namespace quorvel
