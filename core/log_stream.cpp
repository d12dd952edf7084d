#include "log_stream.h"

#include <algorithm>
#include <new>
#include <system_error>
#include <utility>

#include "file_system.h"

namespace quorvel {

namespace {

constexpr size_t kFeedPiece = 16 << 10;

}  // namespace

LogStream::LogStream(InputFile& file, LogData& log, ChannelTable& channelTable,
                     const LogStreamTuning& tuning)
    : file_(file), log_(log), channelTable_(channelTable), tuning_(tuning) {}

LogStream::~LogStream() {
  stop();
  if (reader_.joinable()) reader_.join();
  if (counter_.joinable()) counter_.join();
}

bool LogStream::start(std::string* err) {
  try {
    reader_ = std::thread([this] { read(); });
    counter_ = std::thread([this] { count(); });
    return true;
  } catch (const std::system_error& error) {
    if (err) *err = error.what();
    return false;
  }
}

bool LogStream::waitForHeader(std::string* err) {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [this] { return headerKnown_ || failed_ || stopped_; });
  if (failed_ || !headerKnown_) {
    if (err) *err = failed_ ? error_ : "reading was stopped";
    return false;
  }
  return true;
}

bool LogStream::waitForStartTime(int32_t* startTimeMs, std::string* err) {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [this] { return startKnown_ || ended_ || failed_ || stopped_; });
  if (failed_ || !(startKnown_ || ended_)) {
    if (err) *err = failed_ ? error_ : "reading was stopped";
    return false;
  }
  *startTimeMs = startTimeMs_;
  return true;
}

bool LogStream::waitForRowCount(size_t* rows, std::string* err) {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [this] { return (counted_ && headerKnown_) || failed_ || stopped_; });
  if (failed_ || !(counted_ && headerKnown_)) {
    if (err) *err = failed_ ? error_ : "reading was stopped";
    return false;
  }
  // Without a header there are no rows, whatever the lines.
  *rows = log_.headerFound && lines_ > linesBeforeRows_
              ? static_cast<size_t>(lines_ - linesBeforeRows_)
              : 0;
  return true;
}

bool LogStream::result(size_t* rows, std::string* err) {
  std::lock_guard<std::mutex> lock(mutex_);
  *rows = rowsHandedOn_;
  if (failed_ && err) *err = error_;
  return !failed_;
}

bool LogStream::next(RowRun* run) {
  std::unique_lock<std::mutex> lock(mutex_);
  // Rows go out only with a start time to write them against.
  runsWaiting_.wait(lock, [this] {
    return stopped_ || failed_ || (!runs_.empty() && (startKnown_ || ended_)) ||
           (ended_ && runs_.empty());
  });
  if (stopped_ || failed_ || runs_.empty()) return false;
  Run taken = std::move(runs_.front());
  runs_.pop_front();
  *run = RowRun{taken.rows.get(), 0, taken.rows->size(), taken.number};
  inFlight_.push_back(std::move(taken.rows));
  roomForRuns_.notify_all();
  return true;
}

void LogStream::written(const RowRun& run) {
  std::lock_guard<std::mutex> lock(mutex_);
  // Written in the order taken: the oldest run in flight is this one.
  if (!inFlight_.empty() && inFlight_.front().get() == run.store) {
    spare_.push_back(std::move(inFlight_.front()));
    inFlight_.pop_front();
  }
}

void LogStream::notifyEveryone() {
  changed_.notify_all();
  runsWaiting_.notify_all();
  roomForRuns_.notify_all();
}

void LogStream::stop() {
  std::lock_guard<std::mutex> lock(mutex_);
  stopped_ = true;
  notifyEveryone();
}

void LogStream::fail(std::string reason) {
  std::lock_guard<std::mutex> lock(mutex_);
  failed_ = true;
  error_ = std::move(reason);
  notifyEveryone();
}

void LogStream::count() {
  try {
    LineCounter counter;
    std::string block(tuning_.countBlock > 0 ? tuning_.countBlock : 1, '\0');
    for (uint64_t at = 0;;) {
      {
        std::lock_guard<std::mutex> lock(mutex_);
        if (stopped_ || failed_) return;
      }
      size_t got = 0;
      std::string err;
      if (!file_.readAt(at, block.data(), block.size(), &got, &err)) {
        fail(err);
        return;
      }
      if (got == 0) break;
      counter.feed(block.data(), got);
      at += got;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    counted_ = true;
    lines_ = counter.lines();
    changed_.notify_all();
    roomForRuns_.notify_all();
  } catch (const std::bad_alloc&) {
    fail("not enough memory");
  }
}

void LogStream::read() {
  try {
    LogReader reader(log_, channelTable_);
    std::string block(tuning_.readBlock > 0 ? tuning_.readBlock : 1, '\0');
    for (uint64_t at = 0;;) {
      {
        // Read no further ahead of the writer than a few runs, also while the lines are still
        // being counted. Only until the start time is known do the runs wait in memory
        // without limit: no row can be written before it.
        std::unique_lock<std::mutex> lock(mutex_);
        roomForRuns_.wait(lock, [this] {
          return stopped_ || !startKnown_ || runs_.size() < tuning_.runsAhead;
        });
        if (stopped_) return;
      }
      size_t got = 0;
      std::string err;
      if (!file_.readAt(at, block.data(), block.size(), &got, &err)) {
        fail(err);
        return;
      }
      if (got == 0) {
        reader.finish();
        handOn(reader);
        std::lock_guard<std::mutex> lock(mutex_);
        ended_ = true;
        headerKnown_ = true;
        changed_.notify_all();
        runsWaiting_.notify_all();
        return;
      }
      at += got;
      // Fed a piece at a time, so that a run never grows far past its limits (a block of
      // empty lines holds a row per byte).
      const RowStore& work = log_.dataRows;
      for (size_t fed = 0; fed < got; fed += kFeedPiece) {
        reader.feed(block.data() + fed, std::min(kFeedPiece, got - fed));
        if (log_.headerFound &&
            (work.committedBytes() >= tuning_.runBytes || work.size() >= tuning_.runRows))
          handOn(reader);
      }
      if (!log_.headerFound) continue;
      std::lock_guard<std::mutex> lock(mutex_);
      if (!headerKnown_) {
        headerKnown_ = true;
        linesBeforeRows_ = reader.linesBeforeRows();
        changed_.notify_all();
      }
    }
  } catch (const std::bad_alloc&) {
    fail("not enough memory");
  }
}

void LogStream::handOn(LogReader& reader) {
  std::unique_ptr<RowStore> run;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!spare_.empty()) {
      run = std::move(spare_.back());
      spare_.pop_back();
    }
  }
  if (!run) {
    // Room for a whole run and the line being read: the buffer is taken over by the reader's
    // work space at once (RowStore::moveRowsTo), which then never grows it step by step.
    run = std::make_unique<RowStore>();
    run->reserve(tuning_.runBytes + 2 * kFeedPiece);
  }
  reader.takeRows(*run);
  if (run->empty()) {
    std::lock_guard<std::mutex> lock(mutex_);
    spare_.push_back(std::move(run));
    return;
  }
  // Only this thread sets the start time, so it may look without the lock.
  int32_t start = 0;
  const bool found = !startKnown_ && findStartTime(*run, &start);
  // Rows before the start time wait in memory, perhaps to the log's end: in as little as
  // they take.
  if (!startKnown_ && !found) run->shrinkToFit();
  std::lock_guard<std::mutex> lock(mutex_);
  if (found) {
    startTimeMs_ = start;
    startKnown_ = true;
  }
  const size_t count = run->size();
  runs_.push_back(Run{std::move(run), rowsHandedOn_});
  rowsHandedOn_ += count;
  runsWaiting_.notify_all();
  if (found) changed_.notify_all();
}

}  // namespace quorvel
