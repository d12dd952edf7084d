// The log's data rows, kept compact: all row texts in one buffer plus the end offset of each.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quorvel {

class RowStore {
 public:
  // Number of rows.
  size_t size() const { return ends_.size(); }
  bool empty() const { return ends_.empty(); }

  // Row i (0-based), without its line end; valid until the store changes.
  std::string_view operator[](size_t i) const {
    size_t begin = i == 0 ? 0 : ends_[i - 1];
    return std::string_view(text_).substr(begin, ends_[i] - begin);
  }

  // For a reader that builds the next row in place: the buffer's tail after committedBytes()
  // is a row in the making; closeRow() makes everything up to `end` one more row, and
  // dropTail() throws the unfinished tail away.
  std::string& buffer() { return text_; }
  size_t committedBytes() const { return ends_.empty() ? 0 : ends_.back(); }
  void closeRow(size_t end) { ends_.push_back(end); }
  void dropTail() { text_.resize(committedBytes()); }
  void reserve(size_t bytes, size_t rows) {
    text_.reserve(bytes);
    ends_.reserve(rows);
  }
  // The reserved buffers, for memory advice: text, then offsets.
  void* textData() { return text_.data(); }
  size_t textCapacity() const { return text_.capacity(); }
  void* endsData() { return ends_.data(); }
  size_t endsCapacity() const { return ends_.capacity() * sizeof(size_t); }

 private:
  std::string text_;
  std::vector<size_t> ends_;
};

}  // namespace quorvel
