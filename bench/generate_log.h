// Writes realistic ZT-2 logs for benchmarks: a header with nine channels and rows of a time
// of day plus nine measurements.
#pragma once

#include <cstdint>
#include <string>

namespace quorvel {

// Writes a log of rows data rows (plus the final line that is never used) to path.
// Returns false when the file cannot be written.
bool generateLog(const std::string& path, int64_t rows);

}  // namespace quorvel
