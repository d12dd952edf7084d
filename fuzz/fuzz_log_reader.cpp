// The log reader on arbitrary bytes. The first byte picks a block size: reading the rest in
// blocks of that size must give exactly what reading it whole gives, and the line counter must
// foretell the number of rows.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "log_reader.h"

namespace {

struct Result {
  quorvel::LogData log;
  quorvel::ChannelTable table{};
  uint64_t countedRows = 0;  // what LineCounter, fed the same blocks, foretells
};

void read(const uint8_t* data, size_t size, size_t block, Result& result) {
  quorvel::LogReader reader(result.log, result.table);
  quorvel::LineCounter counter;
  for (size_t at = 0; at < size; at += block) {
    const char* bytes = reinterpret_cast<const char*>(data) + at;
    reader.feed(bytes, size - at < block ? size - at : block);
    counter.feed(bytes, size - at < block ? size - at : block);
  }
  reader.finish();
  result.countedRows = counter.lines() - reader.linesBeforeRows();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  size_t block = data[0] % 17 + 1;
  Result whole, blocks;
  read(data + 1, size - 1, size, whole);
  read(data + 1, size - 1, block, blocks);
  if (whole.log.headerLine != blocks.log.headerLine ||
      whole.log.fieldCount != blocks.log.fieldCount ||
      whole.log.dataRows.size() != blocks.log.dataRows.size())
    std::abort();
  for (size_t i = 0; i < whole.log.dataRows.size(); ++i)
    if (whole.log.dataRows[i] != blocks.log.dataRows[i]) std::abort();
  for (int k = 0; k < quorvel::kChannelTableSize; ++k)
    if (whole.table[k].name != blocks.table[k].name) std::abort();
  // The lines counted give the rows read, whenever a header was found.
  if (whole.log.headerFound && (whole.countedRows != whole.log.dataRows.size() ||
                                blocks.countedRows != whole.log.dataRows.size()))
    std::abort();
  if (whole.log.fieldCount < 0 || whole.log.fieldCount > quorvel::kChannelTableSize) std::abort();
  // Rows hold no line end, and every row is well-formed UTF-8 with no NUL.
  for (size_t i = 0; i < whole.log.dataRows.size(); ++i)
    if (whole.log.dataRows[i].find_first_of(std::string("\r\n\0", 3)) != std::string::npos)
      std::abort();
  return 0;
}
