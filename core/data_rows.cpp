#include "data_rows.h"

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <string_view>
#include <system_error>
#include <thread>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "channel_table.h"
#include "file_system.h"
#include "numbers.h"

namespace quorvel {

namespace {

// A field longer than this is written from the log's own text instead of being copied into a
// block: a log of giant fields then costs no second copy of itself. The fuzz build makes it
// tiny, so that this path is taken.
#ifndef QUORVEL_WRITE_BUFFER
#define QUORVEL_WRITE_BUFFER (1 << 20)
#endif
constexpr size_t kGiantField = QUORVEL_WRITE_BUFFER / 2;
// The most one cell takes beside its value: "0,", 25 characters of a time, "\r\nV\r\n"; a
// short value's 16-byte move (putValue) stays within it too.
constexpr size_t kCellOverhead = 32;
constexpr std::string_view kTupleStart = "-1,0\r\nBOT\r\n";

// Copies text to out and returns the position after it.
char* put(char* out, std::string_view text) {
  if (text.empty()) return out;  // an empty view may hold no pointer at all
  std::memcpy(out, text.data(), text.size());
  return out + text.size();
}

// Copies a field's value to out (which has room for 16 bytes more than the value) and returns
// the position after it. A short value goes in one 16-byte move where 16 bytes may be read
// from its start (before readableEnd): no call for the common short field.
char* putValue(char* out, std::string_view value, const char* readableEnd) {
  if (value.size() <= 16 && value.data() != nullptr && readableEnd - value.data() >= 16) {
    std::memcpy(out, value.data(), 16);
    return out + value.size();
  }
  return put(out, value);
}

// Field n (1-based) of a data row split at commas; empty beyond the row's last field. The
// one pass that splits the row also notes which fields hold a ":", the only ones that may be
// times.
struct RowFields {
  // Splits the row at p, which runs up to the row store's separator, into its first maxFields
  // fields, and returns the position after the separator: one pass over the row finds its
  // fields, their colons and its end. Reads nothing at or after end (the stored text's end).
  const char* splitStored(const char* p, const char* end, int maxFields) {
    count = 0;
    const char* begin = p;
    bool colon = false;
#if defined(__SSE2__)
    // Sixteen bytes at a time: where the commas, colons and the row's end are.
    const __m128i commas = _mm_set1_epi8(',');
    const __m128i colons = _mm_set1_epi8(':');
    const __m128i ends = _mm_set1_epi8(RowStore::kSeparator);
    for (; end - p >= 16; p += 16) {
      const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
      unsigned commaBits = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, commas)));
      unsigned colonBits = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, colons)));
      const unsigned endBits =
          static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, ends)));
      // Only what comes before the row's end belongs to the row.
      const unsigned inRow = endBits ? (endBits & -endBits) - 1 : 0xFFFFu;
      commaBits &= inRow;
      colonBits &= inRow;
      while (commaBits) {
        const unsigned at = static_cast<unsigned>(__builtin_ctz(commaBits));
        const unsigned before = (1u << at) - 1;
        if (colonBits & before) colon = true;
        colonBits &= ~before;
        set(begin, p + at, colon);
        if (count == maxFields) return skipToEnd(p + at, end);
        begin = p + at + 1;
        colon = false;
        commaBits &= commaBits - 1;
      }
      if (colonBits) colon = true;
      if (endBits) {
        const char* rowEnd = p + __builtin_ctz(endBits);
        set(begin, rowEnd, colon);
        return rowEnd + 1;
      }
    }
#endif
    for (;; ++p) {
      const char c = *p;
      if (c == ',') {
        set(begin, p, colon);
        if (count == maxFields) return skipToEnd(p, end);
        begin = p + 1;
        colon = false;
      } else if (c == ':') {
        colon = true;
      } else if (c == RowStore::kSeparator) {
        set(begin, p, colon);
        return p + 1;
      }
    }
  }

  std::string_view field(int n) const { return n <= count ? fields[n - 1] : std::string_view(); }
  bool mayBeTime(int n) const { return n <= count && colons[n - 1]; }

  std::string_view fields[kChannelTableSize];
  bool colons[kChannelTableSize] = {};
  int count = 0;

 private:
  void set(const char* begin, const char* end, bool colon) {
    fields[count] = std::string_view(begin, static_cast<size_t>(end - begin));
    colons[count++] = colon;
  }

  // Fields past the header's are not read: the position after the row's end from p on.
  static const char* skipToEnd(const char* p, const char* end) {
    const void* separator = std::memchr(p, RowStore::kSeparator, static_cast<size_t>(end - p));
    return static_cast<const char*>(separator) + 1;
  }
};

// The formatted text of a run of rows: its own bytes, with giant fields spliced in from the
// log's text (each at an offset of the bytes).
struct Block {
  std::unique_ptr<char[]> bytes;
  size_t capacity = 0;
  size_t used = 0;
  std::vector<std::pair<size_t, std::string_view>> splices;
  RowRun run;

  // Room for size more bytes at the returned position.
  char* space(size_t size) {
    if (capacity - used < size) {
      size_t grown = std::max(capacity * 2, used + size);
      std::unique_ptr<char[]> larger(new char[grown]);
      if (used > 0) std::memcpy(larger.get(), bytes.get(), used);
      bytes = std::move(larger);
      capacity = grown;
    }
    return bytes.get() + used;
  }
  void advance(char* end) { used = static_cast<size_t>(end - bytes.get()); }
};

struct Formatter {
  const std::vector<int>& fieldNumbers;
  int maxFields;
  int64_t startTimeMs;

  // Formats the rows of block.run into block.
  void format(Block& block) const {
    block.used = 0;
    block.splices.clear();
    RowFields row;
    RowStore::Reader reader(*block.run.store, block.run.first);
    // The exported fields are distinct parts of the row, so together they are no longer than
    // the row; a giant one is spliced in, not copied.
    const size_t cells = fieldNumbers.size();
    const size_t mostCopied = cells * kGiantField;
    for (size_t i = 0; i < block.run.count; ++i) {
      const char* start = reader.rowStart();
      const char* next = row.splitStored(start, reader.textEnd(), maxFields);
      reader.skipRow(next);
      const size_t rowLength = static_cast<size_t>(next - start) - 1;
      const size_t need =
          kTupleStart.size() + cells * kCellOverhead + std::min(rowLength, mostCopied);
      char* out = put(block.space(need), kTupleStart);
      for (int n : fieldNumbers) {
        std::string_view value = row.field(n);
        int32_t time = row.mayBeTime(n) ? parseTimeValueMs(value) : -1;
        out = put(out, "0,");
        if (time >= 0) {
          out = writeSecondsFromMs(out, time - startTimeMs);
        } else if (value.size() > kGiantField) {
          block.advance(out);
          block.splices.emplace_back(block.used, value);
        } else {
          out = putValue(out, value, reader.textEnd());
        }
        out = put(out, "\r\nV\r\n");
      }
      block.advance(out);
    }
  }
};

// Writes a formatted block to the file. Returns false with *err on failure.
bool writeBlock(AtomicOutputFile& file, const Block& block, std::string* err) {
  size_t at = 0;
  for (const auto& [offset, text] : block.splices) {
    if (!file.write(block.bytes.get() + at, offset - at, err)) return false;
    if (!file.write(text.data(), text.size(), err)) return false;
    at = offset;
  }
  return file.write(block.bytes.get() + at, block.used - at, err);
}

void reportProgress(const ProgressCallback& progress, const RowRun& run) {
  if (!progress) return;
  const size_t end = run.number + run.count;
  for (size_t count = (run.number / 100 + 1) * 100; count <= end; count += 100)
    progress(static_cast<int32_t>(count));
}

// Blocks formatted by worker threads into a ring of slots and taken in order by the calling
// thread: block b (the source's b-th run) goes to slot b % slots, once the block before it in
// that slot is written.
class Pipeline {
 public:
  Pipeline(const Formatter& formatter, RowRunSource& source, int threads)
      : formatter_(formatter), source_(source), slots_(static_cast<size_t>(threads) * 2) {
    for (size_t s = 0; s < slots_.size(); ++s) slots_[s].expected = s;
    // Where the system gives fewer threads than asked, the pipeline runs with those it got.
    try {
      for (int t = 0; t < threads; ++t) workers_.emplace_back([this] { work(); });
    } catch (const std::system_error&) {
    }
  }

  // Whether any worker runs; without one, nothing would ever be formatted.
  bool started() const { return !workers_.empty(); }

  ~Pipeline() {
    bool exhausted;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stopped_ = true;
      exhausted = exhausted_;
    }
    ready_.notify_all();
    free_.notify_all();
    // Stopped early, a worker may be waiting for the source's next run.
    if (!exhausted) source_.stop();
    for (std::thread& worker : workers_) worker.join();
  }

  // Writes every block in order, each after mayWrite() has said yes; *rows is then the number
  // of rows written. Returns false with *err on failure.
  bool writeAll(AtomicOutputFile& file, const std::function<bool(std::string*)>& mayWrite,
                const ProgressCallback& progress, size_t* rows, std::string* err) {
    for (size_t b = 0;; ++b) {
      Slot& slot = slots_[b % slots_.size()];
      {
        std::unique_lock<std::mutex> lock(mutex_);
        ready_.wait(lock, [&] {
          return (slot.ready && slot.expected == b) || (exhausted_ && b >= blocks_) ||
                 outOfMemory_;
        });
        if (outOfMemory_) {
          if (err) *err = "not enough memory";
          return false;
        }
        if (!slot.ready || slot.expected != b) return true;  // every block is written
      }
      if (!mayWrite(err) || !writeBlock(file, slot.block, err)) return false;
      source_.written(slot.block.run);
      reportProgress(progress, slot.block.run);
      *rows = slot.block.run.number + slot.block.run.count;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        slot.ready = false;
        slot.expected = b + slots_.size();
      }
      free_.notify_all();
    }
  }

 private:
  struct Slot {
    Block block;
    size_t expected = 0;  // the block this slot takes next
    bool ready = false;
  };

  void work() {
    for (;;) {
      size_t b;
      RowRun run;
      {
        // Runs are taken one worker at a time, so that block numbers follow the runs' order.
        std::lock_guard<std::mutex> taking(takeMutex_);
        {
          std::lock_guard<std::mutex> lock(mutex_);
          if (stopped_ || exhausted_) return;
        }
        bool more;
        try {
          more = source_.next(&run);
        } catch (const std::bad_alloc&) {
          fail();
          return;
        }
        std::lock_guard<std::mutex> lock(mutex_);
        b = next_++;
        if (!more) {
          exhausted_ = true;
          blocks_ = b;
          ready_.notify_all();
          return;
        }
      }
      Slot* slot = &slots_[b % slots_.size()];
      {
        std::unique_lock<std::mutex> lock(mutex_);
        free_.wait(lock, [&] { return stopped_ || (!slot->ready && slot->expected == b); });
        if (stopped_) return;
      }
      slot->block.run = run;
      try {
        formatter_.format(slot->block);
      } catch (const std::bad_alloc&) {
        fail();
        return;
      }
      {
        std::lock_guard<std::mutex> lock(mutex_);
        slot->ready = true;
      }
      ready_.notify_all();
    }
  }

  void fail() {
    std::lock_guard<std::mutex> lock(mutex_);
    outOfMemory_ = true;
    stopped_ = true;
    ready_.notify_all();
    free_.notify_all();
  }

  const Formatter& formatter_;
  RowRunSource& source_;
  std::vector<Slot> slots_;
  std::vector<std::thread> workers_;
  std::mutex takeMutex_;  // held while a run is taken from the source
  std::mutex mutex_;      // guards everything below and the slots' state
  std::condition_variable ready_;  // a block was formatted (or none will be): for the writer
  std::condition_variable free_;   // a slot was written (or work stops): for the workers
  size_t next_ = 0;       // the number of the next block taken
  size_t blocks_ = 0;     // the number of blocks, once the source is exhausted
  bool exhausted_ = false;
  bool stopped_ = false;
  bool outOfMemory_ = false;
};

// The rows of a store in memory, blockRows at a time.
class StoredRuns : public RowRunSource {
 public:
  StoredRuns(const RowStore& rows, size_t blockRows) : rows_(rows), blockRows_(blockRows) {}
  bool next(RowRun* run) override {
    if (at_ >= rows_.size()) return false;
    *run = RowRun{&rows_, at_, std::min(blockRows_, rows_.size() - at_), at_};
    at_ += run->count;
    return true;
  }
  void written(const RowRun&) override {}
  void stop() override {}

 private:
  const RowStore& rows_;
  const size_t blockRows_;
  size_t at_ = 0;
};

// Formats and writes every run of source (on worker threads when threads > 1), calls
// progress for the last time and writes the end-of-data marker; beforeWriting (may be empty)
// is called once, before the first byte is written.
bool writeRuns(AtomicOutputFile& file, RowRunSource& source, const Formatter& formatter,
               int threads, const std::function<bool(std::string*)>& beforeWriting,
               const ProgressCallback& progress, std::string* err) {
  bool started = !beforeWriting;
  auto mayWrite = [&](std::string* why) {
    if (!started) started = beforeWriting(why);
    return started;
  };
  size_t rows = 0;
  std::unique_ptr<Pipeline> pipeline;
  if (threads > 1) {
    pipeline = std::make_unique<Pipeline>(formatter, source, threads);
    if (!pipeline->started()) pipeline.reset();
  }
  if (pipeline) {
    if (!pipeline->writeAll(file, mayWrite, progress, &rows, err)) return false;
    pipeline.reset();
  } else {
    // On the calling thread, a run at a time.
    Block block;
    while (source.next(&block.run)) {
      formatter.format(block);
      if (!mayWrite(err) || !writeBlock(file, block, err)) return false;
      source.written(block.run);
      reportProgress(progress, block.run);
      rows = block.run.number + block.run.count;
    }
  }
  if (!mayWrite(err)) return false;
  if (progress) progress(static_cast<int32_t>(rows));
  static constexpr std::string_view kEnd = "-1,0\r\nEOD\r\n";
  return file.write(kEnd.data(), kEnd.size(), err);
}

}  // namespace

bool findStartTime(const RowStore& rows, int32_t* timeMs) {
  RowFields row;
  for (RowStore::Reader reader(rows); reader.row() < rows.size();) {
    reader.skipRow(row.splitStored(reader.rowStart(), reader.textEnd(), 1));
    int32_t time = parseTimeValueMs(row.field(1));
    if (time >= 0) {
      *timeMs = time;
      return true;
    }
  }
  return false;
}

bool writeDataRows(AtomicOutputFile& file, const RowStore& dataRows,
                   const std::vector<int>& fieldNumbers, int maxFields,
                   const ProgressCallback& progress, const RowWriterTuning& tuning,
                   std::string* err) {
  int32_t startTimeMs = 0;
  findStartTime(dataRows, &startTimeMs);
  const Formatter formatter{fieldNumbers, maxFields, startTimeMs};
  const size_t blockRows = std::max<size_t>(tuning.blockRows, 1);
  int threads = tuning.threads;
  if (threads <= 0) {
    // A log of a block or two is done sooner than threads are started.
    threads = dataRows.size() < 2 * blockRows
                  ? 0
                  : static_cast<int>(std::thread::hardware_concurrency());
  }
  StoredRuns runs(dataRows, blockRows);
  return writeRuns(file, runs, formatter, threads, {}, progress, err);
}

bool writeRowRuns(AtomicOutputFile& file, RowRunSource& source,
                  const std::vector<int>& fieldNumbers, int maxFields, int32_t startTimeMs,
                  const std::function<bool(std::string* err)>& beforeWriting,
                  const ProgressCallback& progress, const RowWriterTuning& tuning,
                  std::string* err) {
  const Formatter formatter{fieldNumbers, maxFields, startTimeMs};
  const int threads = tuning.threads > 0 ? tuning.threads
                                         : static_cast<int>(std::thread::hardware_concurrency());
  return writeRuns(file, source, formatter, threads, beforeWriting, progress, err);
}

}  // namespace quorvel
