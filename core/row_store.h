// The log's data rows, kept compact: all row texts in one buffer, each followed by a line feed
// (a row never holds CR, LF or NUL, so the separator is unambiguous), plus the start of every
// 64th row. Memory is the rows' text plus one byte and an eighth per row, so no shape of log
// (millions of empty lines included) costs more than about its own size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quorvel {

class RowStore {
 public:
  static constexpr char kSeparator = '\n';
  static constexpr size_t kIndexStep = 64;

  // Number of rows.
  size_t size() const { return count_; }
  bool empty() const { return count_ == 0; }

  // Row i (0-based), without its line end; valid until the store changes. Finds the row from
  // the nearest indexed one: for reading every row, a Reader is faster.
  std::string_view operator[](size_t i) const {
    Reader reader(*this, i);
    return reader.next();
  }

  // Reads rows in order from a given row on.
  class Reader {
   public:
    explicit Reader(const RowStore& rows, size_t first = 0) : rows_(rows), row_(first) {
      if (first >= rows.count_) return;
      at_ = rows.starts_[first / kIndexStep];
      for (size_t skip = first % kIndexStep; skip > 0; --skip) at_ = rows.endOf(at_) + 1;
    }
    // The next row; call only while rows are left (row() < size()).
    std::string_view next() {
      size_t end = rows_.endOf(at_);
      std::string_view row(rows_.text_.data() + at_, end - at_);
      at_ = end + 1;
      ++row_;
      return row;
    }
    // The number of the row that next() gives.
    size_t row() const { return row_; }

    // For a caller that finds the row's end itself while it reads the row: where the next row
    // starts (it runs up to a kSeparator), and then the position just after that separator.
    const char* rowStart() const { return rows_.text_.data() + at_; }
    // The end of all stored rows: nothing at or after it may be read.
    const char* textEnd() const { return rows_.text_.data() + rows_.committed_; }
    void skipRow(const char* afterSeparator) {
      at_ = static_cast<size_t>(afterSeparator - rows_.text_.data());
      ++row_;
    }

   private:
    const RowStore& rows_;
    size_t row_;
    size_t at_ = 0;
  };

  // For a reader that builds the next row in place: the buffer's tail after committedBytes()
  // is a row in the making; closeRow() makes the whole tail one more row.
  std::string& buffer() { return text_; }
  size_t committedBytes() const { return committed_; }
  void closeRow() {
    if (count_ % kIndexStep == 0) starts_.push_back(committed_);
    text_ += kSeparator;
    committed_ = text_.size();
    ++count_;
  }
  // Moves every committed row into rows (emptied first; its buffer is reused) and keeps the
  // row in the making, which then starts the buffer. Returns the number of bytes moved out,
  // by which every position in the buffer has moved down.
  size_t moveRowsTo(RowStore& rows) {
    rows.text_.clear();
    rows.starts_.clear();
    std::swap(text_, rows.text_);
    std::swap(starts_, rows.starts_);
    rows.count_ = count_;
    rows.committed_ = committed_;
    text_.append(rows.text_, committed_, std::string::npos);
    rows.text_.resize(committed_);
    const size_t moved = committed_;
    count_ = 0;
    committed_ = 0;
    return moved;
  }
  // Gives back the buffers' unused room: for rows kept in memory for a while.
  void shrinkToFit() {
    text_.shrink_to_fit();
    starts_.shrink_to_fit();
  }
  // Room for bytes of text (rows and separators) without growing the buffer.
  void reserve(size_t bytes) { text_.reserve(bytes); }

 private:
  // Where the row starting at begin ends (its separator).
  size_t endOf(size_t begin) const {
    const void* end = std::memchr(text_.data() + begin, kSeparator, committed_ - begin);
    return static_cast<size_t>(static_cast<const char*>(end) - text_.data());
  }

  std::string text_;
  std::vector<uint64_t> starts_;  // the start of rows 0, 64, 128, ...
  size_t committed_ = 0;
  size_t count_ = 0;
};

}  // namespace quorvel
