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

constexpr std::string_view kLineEnd = "\r\n";

// Collects DIF items as text.
class DifWriter {
 public:
  explicit DifWriter(std::string& out) : out_(out) {}

  void append(std::string_view text) { out_.append(text); }
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

 private:
  std::string& out_;
};

std::vector<int> exportedChannels(const ChannelTable& channelTable, int32_t fieldCount) {
  std::vector<int> channels;
  for (int k = 1; k <= lastChannel(fieldCount); ++k)
    if (channelTable[k].enabled != 0) channels.push_back(k);
  return channels;
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

bool writeExportFile(const std::string& logPath, const std::string& exportPath,
                     const ChannelTable& channelTable, int32_t fieldCount,
                     const RowStore& dataRows, const ProgressCallback& progress,
                     const RowWriterTuning& tuning, std::string* err) {
  if (!exportAllowed(logPath, exportPath, fieldCount, err)) return false;
  AtomicOutputFile file;
  std::string reason;
  if (!file.create(exportPath, &reason)) {
    if (err) *err = "cannot create the export: " + reason;
    return false;
  }
  const std::string head = exportHead(channelTable, fieldCount, dataRows.size());
  if (!file.write(head.data(), head.size(), &reason)) {
    if (err) *err = "cannot write the export: " + reason;
    return false;
  }
  if (!writeDataRows(file, dataRows, exportedFieldNumbers(channelTable, fieldCount),
                     exportRowFields(fieldCount), progress, tuning, &reason)) {
    if (err) *err = exportWriteError(reason);
    return false;
  }
  if (!file.commit(&reason)) {
    if (err) *err = "cannot save the export: " + reason;
    return false;
  }
  return true;
}

}  // namespace

bool exportAllowed(const std::string& logPath, const std::string& exportPath,
                   int32_t fieldCount, std::string* err) {
  if (fieldCount > kChannelTableSize) {
    if (err) *err = "the log has more fields than the channel table holds";
    return false;
  }
  if (exportPath == logPath || isSameFile(exportPath, logPath)) {
    if (err) *err = "the export would replace the log itself";
    return false;
  }
  return true;
}

std::string exportHead(const ChannelTable& channelTable, int32_t fieldCount, size_t rowCount) {
  const std::vector<int> channels = exportedChannels(channelTable, fieldCount);
  const int32_t columns = static_cast<int32_t>(channels.size()) + 1;
  std::string head;
  DifWriter out(head);
  out.headerItem("TABLE", 1, "EXCEL");
  out.headerItem("VECTORS", static_cast<int64_t>(rowCount) + 12, "LMTR");
  out.headerItem("TUPLES", columns, columnPattern(columns));
  out.headerItem("DATA", 0, "");
  writeDescriptorTuples(out, channelTable, fieldCount, channels);
  return head;
}

std::vector<int> exportedFieldNumbers(const ChannelTable& channelTable, int32_t fieldCount) {
  // The time column's field 1, then field k + 1 of each exported channel k.
  std::vector<int> fieldNumbers{1};
  for (int k : exportedChannels(channelTable, fieldCount)) fieldNumbers.push_back(k + 1);
  return fieldNumbers;
}

int exportRowFields(int32_t fieldCount) { return fieldCount < 1 ? 1 : fieldCount; }

std::string exportWriteError(const std::string& reason) {
  return reason == "not enough memory" ? reason : "cannot write the export: " + reason;
}

int32_t exportColumnCount(const ChannelTable& channelTable, int32_t fieldCount) {
  int32_t count = 1;
  for (int k = 1; k <= lastChannel(fieldCount); ++k)
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
                 const ProgressCallback& progress, std::string* err,
                 const RowWriterTuning& tuning) {
  try {
    return writeExportFile(logPath, exportPath, channelTable, fieldCount, dataRows, progress,
                           tuning, err);
  } catch (const std::bad_alloc&) {
    if (err) *err = "not enough memory";
    return false;
  }
}

}  // namespace quorvel
