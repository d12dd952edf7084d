#include "log_reader.h"

#include <cstring>
#include <new>
#include <thread>

#include "file_system.h"
#include "utf8.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace quorvel {

namespace {

constexpr unsigned char kCarriageReturn = 0x0D;
constexpr unsigned char kLineFeed = 0x0A;
// The fuzz build reads in tiny blocks, so that block edges fall everywhere.
#ifndef QUORVEL_READ_BLOCK
#define QUORVEL_READ_BLOCK (1 << 20)
#endif
constexpr size_t kReadBlock = QUORVEL_READ_BLOCK;

// Bytes that need no decoding and end no line: ASCII except NUL, CR and LF.
bool isPlain(unsigned char b) {
  return b < 0x80 && b != 0 && b != kCarriageReturn && b != kLineFeed;
}

// Length of the run of plain bytes at the start of [p, end).
size_t plainRunLength(const unsigned char* p, const unsigned char* end) {
  const unsigned char* start = p;
#if defined(__SSE2__)
  const __m128i cr = _mm_set1_epi8(static_cast<char>(kCarriageReturn));
  const __m128i lf = _mm_set1_epi8(static_cast<char>(kLineFeed));
  const __m128i nul = _mm_setzero_si128();
  while (end - p >= 16) {
    __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    __m128i stops = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, cr), _mm_cmpeq_epi8(v, lf)),
                                 _mm_cmpeq_epi8(v, nul));
    // The sign bit of each byte marks non-ASCII bytes directly.
    unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(stops, v)));
    if (mask != 0) return static_cast<size_t>(p - start) + __builtin_ctz(mask);
    p += 16;
  }
#endif
  while (p < end && isPlain(*p)) ++p;
  return static_cast<size_t>(p - start);
}

// Bytes in a character whose first byte is lead (lead >= 0xC0 and <= 0xF7).
int characterLength(unsigned char lead) {
  if (lead <= 0xDF) return 2;
  if (lead <= 0xEF) return 3;
  return 4;
}

std::string_view nthField(std::string_view line, int n, std::string_view separator) {
  size_t begin = 0;
  for (int field = 1; field < n; ++field) {
    size_t at = line.find(separator, begin);
    if (at == std::string_view::npos) return {};
    begin = at + separator.size();
  }
  size_t at = line.find(separator, begin);
  return line.substr(begin, at == std::string_view::npos ? std::string_view::npos : at - begin);
}

}  // namespace

size_t countOccurrences(std::string_view text, std::string_view what) {
  size_t count = 0;
  for (size_t at = text.find(what); at != std::string_view::npos;
       at = text.find(what, at + what.size()))
    ++count;
  return count;
}

std::string headerFieldName(std::string_view headerLine, int n) {
  std::string_view field = nthField(headerLine, n, "\",\"");
  size_t first = field.find_first_not_of('"');
  if (first == std::string_view::npos) return {};
  size_t last = field.find_last_not_of('"');
  return std::string(field.substr(first, last - first + 1));
}

LogReader::LogReader(LogData& log, ChannelTable& channelTable)
    : log_(log), channelTable_(channelTable), out_(log.dataRows.buffer()) {
  lineStart_ = log_.dataRows.committedBytes();
}

void LogReader::feed(const char* data, size_t size) {
  const auto* p = reinterpret_cast<const unsigned char*>(data);
  const unsigned char* end = p + size;
  while (p < end) {
    if (!lineOpen_) {
      // The LF of a CR LF pair still belongs to the line end before.
      if (afterCarriageReturn_) {
        afterCarriageReturn_ = false;
        if (*p == kLineFeed) {
          ++p;
          continue;
        }
      }
      startLine();
    }
    if (groupNeed_ == 0) {
      size_t run = plainRunLength(p, end);
      if (run > 0) {
        out_.append(reinterpret_cast<const char*>(p), run);
        p += run;
        // The usual data line: plain bytes ended by CR LF or LF, with the next line's first
        // byte already at hand. The line is a row at once (endLine, then startLine).
        if (log_.headerFound && end - p > 2) {
          const size_t lineEnd = p[0] == kCarriageReturn && p[1] == kLineFeed ? 2
                                 : p[0] == kLineFeed                          ? 1
                                                                              : 0;
          if (lineEnd > 0) {
            log_.dataRows.closeRow();
            lineStart_ = out_.size();
            p += lineEnd;
          }
        }
        continue;
      }
    }
    takeByte(*p++);
  }
}

void LogReader::startLine() {
  // A byte follows the line read before, so that line was not the file's last: use it.
  if (linePending_) commitPendingLine();
  lineOpen_ = true;
}

void LogReader::takeByte(unsigned char b) {
  if (b == kCarriageReturn || b == kLineFeed || b == 0) {
    // A line end always ends the line, also inside a character; that character is dropped.
    groupNeed_ = 0;
    endLine(b == kCarriageReturn);
    return;
  }
  if (groupNeed_ > 0) {
    group_[groupHave_++] = b;
    if (groupHave_ == groupNeed_) {
      appendWellFormedUtf8(out_, reinterpret_cast<const char*>(group_), groupHave_);
      groupNeed_ = 0;
    }
    return;
  }
  if (b < 0x80) {
    out_ += static_cast<char>(b);
  } else if (b <= 0xBF || b >= 0xF8) {
    out_ += '?';
  } else {
    group_[0] = b;
    groupHave_ = 1;
    groupNeed_ = characterLength(b);
  }
}

void LogReader::endLine(bool byCarriageReturn) {
  lineOpen_ = false;
  linePending_ = true;
  afterCarriageReturn_ = byCarriageReturn;
}

void LogReader::commitPendingLine() {
  linePending_ = false;
  if (log_.headerFound) {
    log_.dataRows.closeRow();
  } else {
    ++linesBeforeRows_;
    if (out_.size() > lineStart_ && out_[lineStart_] == '"')
      takeHeader(out_.substr(lineStart_));
    out_.resize(lineStart_);
  }
  lineStart_ = out_.size();
}

void LogReader::finish() {
  // Whatever was read last is the file's last line: a character cut short is dropped, and the
  // line itself is never used.
  groupNeed_ = 0;
  lineOpen_ = false;
  linePending_ = false;
  afterCarriageReturn_ = false;
  out_.resize(lineStart_);
}

void LogReader::takeRows(RowStore& rows) { lineStart_ -= log_.dataRows.moveRowsTo(rows); }

void LogReader::takeHeader(std::string line) {
  if (countOccurrences(line, "AFR") == 2) line.replace(line.find("AFR"), 3, "Lambda");
  size_t fields = countOccurrences(line, "\",\"") + 1;
  // Only the time column and nine channels fit the table; further fields are ignored.
  log_.fieldCount = static_cast<int32_t>(fields < kChannelTableSize ? fields : kChannelTableSize);
  log_.headerLine = std::move(line);
  for (int n = 1; n <= lastChannel(log_.fieldCount); ++n)
    channelTable_[n].name = headerFieldName(log_.headerLine, n + 1);
  log_.headerFound = true;
}

void LineCounter::feed(const char* data, size_t size) {
  if (size == 0) return;
  const auto* p = reinterpret_cast<const unsigned char*>(data);
  const unsigned char* end = p + size;
  // Every CR and NUL ends a line; an LF does unless it directly follows a CR.
  auto ending = [](unsigned char b, bool afterCarriageReturn) {
    return b == kCarriageReturn || b == 0 || (b == kLineFeed && !afterCarriageReturn);
  };
  ends_ += ending(*p, afterCarriageReturn_);
  ++p;
#if defined(__SSE2__)
  const __m128i cr = _mm_set1_epi8(static_cast<char>(kCarriageReturn));
  const __m128i lf = _mm_set1_epi8(static_cast<char>(kLineFeed));
  const __m128i nul = _mm_setzero_si128();
  // Each line end found subtracts 0xFF (adds 1) in its byte of a counter; the counters are
  // summed before any can overflow.
  while (end - p >= 16) {
    __m128i counts = _mm_setzero_si128();
    for (int round = 0; round < 255 && end - p >= 16; ++round, p += 16) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
      const __m128i before = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p - 1));
      const __m128i lineFeeds =
          _mm_andnot_si128(_mm_cmpeq_epi8(before, cr), _mm_cmpeq_epi8(v, lf));
      const __m128i endings =
          _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, cr), _mm_cmpeq_epi8(v, nul)), lineFeeds);
      counts = _mm_sub_epi8(counts, endings);
    }
    const __m128i sums = _mm_sad_epu8(counts, _mm_setzero_si128());
    ends_ += static_cast<uint64_t>(_mm_cvtsi128_si32(sums)) +
             static_cast<uint64_t>(_mm_cvtsi128_si32(_mm_unpackhi_epi64(sums, sums)));
  }
#endif
  for (; p < end; ++p) ends_ += ending(*p, p[-1] == kCarriageReturn);
  const unsigned char last = end[-1];
  afterCarriageReturn_ = last == kCarriageReturn;
  endsWithLineEnd_ = last == kCarriageReturn || last == kLineFeed || last == 0;
}

bool readLog(InputFile& file, LogData& log, ChannelTable& channelTable, std::string* err) {
  try {
    uint64_t size = 0;
    const bool sized = file.size(&size, nullptr);
    uint64_t consumed = 0;
    bool reserved = false;
    std::thread prefault;
    // Joined on every way out: the prefault must end before the buffer may go away.
    struct Joiner {
      std::thread& thread;
      ~Joiner() {
        if (thread.joinable()) thread.join();
      }
    } joiner{prefault};
    LogReader reader(log, channelTable);
    std::string block(kReadBlock, '\0');
    for (;;) {
      size_t got = 0;
      if (!file.read(block.data(), block.size(), &got, err)) return false;
      if (got == 0) break;
      reader.feed(block.data(), got);
      consumed += got;
      // Once the header is found the rest of the file is rows, taking about its size: reserve
      // it then, so the buffer is not copied while it grows. A file without a header (however
      // large) reserves nothing.
      if (!reserved && log.headerFound && sized && size > consumed) {
        RowStore& rows = log.dataRows;
        rows.reserve(rows.buffer().size() + static_cast<size_t>(size - consumed) + 64);
        // Fresh memory costs a page fault per page: another core takes those faults ahead of
        // the reader while it reads.
        std::string& text = rows.buffer();
        char* ahead = text.data() + text.size();
        size_t length = text.capacity() - text.size();
        prefault = std::thread([ahead, length] { prepareMemory(ahead, length); });
        reserved = true;
      }
    }
    reader.finish();
    return true;
  } catch (const std::bad_alloc&) {
    if (err) *err = "not enough memory";
    return false;
  }
}

}  // namespace quorvel
