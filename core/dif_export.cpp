#include "dif_export.h"

#include <charconv>
#include <cstring>
#include <memory>
#include <new>
#include <string_view>
#include <vector>

#include "file_system.h"
#include "numbers.h"
#include "one_line.h"

namespace quorvel {

namespace {

// The fuzz build makes the buffer tiny, so that every path through it is taken.
#ifndef QUORVEL_WRITE_BUFFER
#define QUORVEL_WRITE_BUFFER (1 << 20)
#endif
constexpr size_t kWriteBuffer = QUORVEL_WRITE_BUFFER;
constexpr std::string_view kLineEnd = "\r\n";

// Collects the export's text in a fixed buffer and hands it to the file in large blocks.
// After the first failed write it writes nothing more and keeps that failure's reason.
class DifWriter {
 public:
  explicit DifWriter(AtomicOutputFile& file)
      : file_(file), buffer_(new char[kWriteBuffer]) {}

  void append(std::string_view text) {
    if (kWriteBuffer - used_ < text.size()) {
      flush();
      if (text.size() > kWriteBuffer) {
        writeOut(text.data(), text.size());
        return;
      }
    }
    if (text.empty()) return;  // an empty view may hold no pointer at all
    std::memcpy(buffer_.get() + used_, text.data(), text.size());
    used_ += text.size();
  }
  void line(std::string_view text) {
    append(text);
    append(kLineEnd);
  }
  void quotedLine(std::string_view text) {
    append("\"");
    append(text);
    append("\"\r\n");
  }
  void tupleStart() { append("-1,0\r\nBOT\r\n"); }
  // Names and units are written on one line whatever they hold.
  void textCell(std::string_view text) {
    append("1,0\r\n");
    if (text.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos)
      quotedLine(text);
    else
      quotedLine(oneLine(text));
  }
  void numberCell(std::string_view value) {
    append("0,");
    append(value);
    append("\r\nV\r\n");
  }
  void headerItem(std::string_view topic, int64_t number, std::string_view text) {
    line(topic);
    std::string numberLine = "0,";
    appendInteger(numberLine, number);
    line(numberLine);
    quotedLine(text);
  }

  // Room for at least size more bytes at the returned position; advance() past what was put.
  char* space(size_t size) {
    if (kWriteBuffer - used_ < size) flush();
    return buffer_.get() + used_;
  }
  void advance(char* end) { used_ = static_cast<size_t>(end - buffer_.get()); }

  // Writes out everything collected. Returns false once any write has failed.
  bool flush() {
    writeOut(buffer_.get(), used_);
    used_ = 0;
    return ok_;
  }
  const std::string& error() const { return error_; }

 private:
  void writeOut(const char* data, size_t size) {
    if (ok_ && size > 0) ok_ = file_.write(data, size, &error_);
  }

  AtomicOutputFile& file_;
  std::unique_ptr<char[]> buffer_;
  size_t used_ = 0;
  bool ok_ = true;
  std::string error_;
};

// Copies text to out and returns the position after it.
char* put(char* out, std::string_view text) {
  if (text.empty()) return out;  // an empty view may hold no pointer at all
  std::memcpy(out, text.data(), text.size());
  return out + text.size();
}

// Field n (1-based) of a data row split at commas; empty beyond the row's last field. The
// one pass that splits the row also notes which fields hold a ":", the only ones that may be
// times.
struct RowFields {
  // Splits row into its first maxFields fields.
  void split(std::string_view row, int maxFields) {
    count = 0;
    const char* p = row.data();
    const char* end = p + row.size();
    const char* begin = p;
    bool colon = false;
    for (; p != end; ++p) {
      if (*p == ',') {
        set(begin, p, colon);
        if (count == maxFields) return;
        begin = p + 1;
        colon = false;
      } else if (*p == ':') {
        colon = true;
      }
    }
    set(begin, end, colon);
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
};

// The time of field 1 of the first data row that holds a time there; 0 when none does.
int32_t findStartTimeMs(const RowStore& dataRows) {
  RowFields row;
  for (RowStore::Reader rows(dataRows); rows.row() < dataRows.size();) {
    row.split(rows.next(), 1);
    int32_t time = parseTimeValueMs(row.field(1));
    if (time >= 0) return time;
  }
  return 0;
}

void writeDescriptorTuples(DifWriter& out, const ChannelTable& channelTable, int32_t fieldCount,
                           const std::vector<int>& channels) {
  const int32_t columns = static_cast<int32_t>(channels.size()) + 1;
  auto emptyTextCells = [&](int count) {
    for (int i = 0; i < count; ++i) out.textCell("");
  };
  out.tupleStart();
  out.textCell("Input Description");
  emptyTextCells(columns - 1);

  out.tupleStart();
  out.textCell("Stochiometric:");
  out.numberCell("0.000000");
  emptyTextCells(columns > 2 ? columns - 2 : 0);

  out.tupleStart();
  out.textCell("From device:");
  for (int k : channels) {
    std::string text = "ZT-2 (Channel 1:";
    appendInteger(text, k - 1);
    text += ')';
    out.textCell(text);
  }
  out.tupleStart();
  out.textCell("Name:");
  for (int k : channels) out.textCell(channelTable[k].label);
  out.tupleStart();
  out.textCell("Unit:");
  for (int k : channels) out.textCell(channelTable[k].unit);
  out.tupleStart();
  out.textCell("Range:");
  for (int k : channels) out.numberCell(channelTable[k].rangeLow);
  out.tupleStart();
  out.textCell("equiv(Sample):");
  for (size_t i = 0; i < channels.size(); ++i) out.numberCell("0");
  out.tupleStart();
  out.textCell("to:");
  for (int k : channels) out.numberCell(channelTable[k].rangeHigh);
  out.tupleStart();
  out.textCell("equiv(Sample):");
  for (int k : channels) out.numberCell(parseInteger(channelTable[k].rangeHigh) < 10 ? "1024" : "4096");
  out.tupleStart();
  out.textCell("Color:");
  for (int k : channels) {
    std::string color;
    appendInteger(color, channelTable[k].color);
    out.numberCell(color);
  }
  for (const char* label : {"-END-", "Session 1"}) {
    out.tupleStart();
    out.textCell(label);
    emptyTextCells(static_cast<int>(channels.size()));
  }
  // Column titles; a log without a header line has no columns to name.
  out.tupleStart();
  if (fieldCount >= 1) {
    out.textCell(columnTitle(channelTable[0], true));
    for (int k : channels) out.textCell(columnTitle(channelTable[k], false));
  }
}

void writeDataRows(DifWriter& writer, int32_t fieldCount, const RowStore& dataRows,
                   const std::vector<int>& channels, const ProgressCallback& progress) {
  const int64_t startTimeMs = findStartTimeMs(dataRows);
  // Field numbers of the exported columns: the time column's field 1, then field k + 1.
  std::vector<int> fieldNumbers{1};
  for (int k : channels) fieldNumbers.push_back(k + 1);
  const int maxFields = fieldCount < 1 ? 1 : fieldCount;

  RowFields row;
  int32_t rowsWritten = 0;
  for (RowStore::Reader rows(dataRows); rows.row() < dataRows.size();) {
    row.split(rows.next(), maxFields);
    writer.tupleStart();
    for (int n : fieldNumbers) {
      std::string_view value = row.field(n);
      int32_t time = row.mayBeTime(n) ? parseTimeValueMs(value) : -1;
      if (time < 0 && value.size() > kWriteBuffer / 2) {  // a giant field: copy it through
        writer.numberCell(value);
        continue;
      }
      char* out = writer.space((time >= 0 ? 0 : value.size()) + 32);
      out = put(out, "0,");
      out = time >= 0 ? writeSecondsFromMs(out, time - startTimeMs) : put(out, value);
      out = put(out, "\r\nV\r\n");
      writer.advance(out);
    }
    ++rowsWritten;
    if (rowsWritten % 100 == 0 && progress) progress(rowsWritten);
  }
  if (progress) progress(rowsWritten);
  writer.append("-1,0\r\nEOD\r\n");
}

bool writeExportFile(const std::string& logPath, const std::string& exportPath,
                     const ChannelTable& channelTable, int32_t fieldCount,
                     const RowStore& dataRows, const ProgressCallback& progress,
                     std::string* err) {
  if (exportPath == logPath || isSameFile(exportPath, logPath)) {
    if (err) *err = "the export would replace the log itself";
    return false;
  }
  std::vector<int> channels;
  for (int k = 1; k < fieldCount && k < kChannelTableSize; ++k)
    if (channelTable[k].enabled != 0) channels.push_back(k);
  const int32_t columns = static_cast<int32_t>(channels.size()) + 1;

  AtomicOutputFile file;
  std::string reason;
  if (!file.create(exportPath, &reason)) {
    if (err) *err = "cannot create the export: " + reason;
    return false;
  }
  DifWriter out(file);
  out.headerItem("TABLE", 1, "EXCEL");
  out.headerItem("VECTORS", static_cast<int64_t>(dataRows.size()) + 12, "LMTR");
  out.headerItem("TUPLES", columns, columnPattern(columns));
  out.headerItem("DATA", 0, "");
  writeDescriptorTuples(out, channelTable, fieldCount, channels);
  writeDataRows(out, fieldCount, dataRows, channels, progress);
  if (!out.flush()) {
    if (err) *err = "cannot write the export: " + out.error();
    return false;
  }
  if (!file.commit(&reason)) {
    if (err) *err = "cannot save the export: " + reason;
    return false;
  }
  return true;
}

}  // namespace

int32_t exportColumnCount(const ChannelTable& channelTable, int32_t fieldCount) {
  int32_t count = 1;
  for (int k = 1; k < fieldCount && k < kChannelTableSize; ++k)
    if (channelTable[k].enabled != 0) ++count;
  return count;
}

std::string columnPattern(int32_t exportColumnCount) {
  std::string pattern = "1";
  for (int32_t i = 1; i < exportColumnCount; ++i) pattern += '2';
  pattern.resize(kColumnPatternLength, '0');
  return pattern;
}

std::string columnTitle(const ChannelSettings& channel, bool isTimeColumn) {
  if (channel.label == channel.unit) return channel.label;
  return channel.label + (isTimeColumn ? "(" : " (") + channel.unit + ")";
}

bool writeExport(const std::string& logPath, const std::string& exportPath,
                 const ChannelTable& channelTable, int32_t fieldCount, const RowStore& dataRows,
                 const ProgressCallback& progress, std::string* err) {
  try {
    return writeExportFile(logPath, exportPath, channelTable, fieldCount, dataRows, progress,
                           err);
  } catch (const std::bad_alloc&) {
    if (err) *err = "not enough memory";
    return false;
  }
}

}  // namespace quorvel
