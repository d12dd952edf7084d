// The whole conversion: log bytes and settings bytes (split at the first 0xFF 0x00 pair) to
// an export, checked against the layout's invariants and, cell by cell, against a small
// independent model of the header and the data rows (conversion_model.h). The log is fed in
// blocks of a size the input chooses, so block edges fall anywhere. The converter's way,
// reading the log while writing, must give the same bytes with blocks and runs of sizes the
// input chooses.
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "channel_settings.h"
#include "conversion.h"
#include "dif_export.h"
#include "log_reader.h"
#include "conversion_model.h"
#include "numbers.h"

namespace {

std::string exportFile() {
  static const std::string path = "/dev/shm/quorvel-fuzz-" + std::to_string(::getpid()) + ".dif";
  return path;
}

std::string streamedLog() {
  static const std::string path =
      "/dev/shm/quorvel-fuzz-" + std::to_string(::getpid()) + "-streamed.csv";
  return path;
}

std::string readAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  size_t split = input.find(std::string_view("\xFF\0", 2));
  std::string_view logBytes = input.substr(0, split);
  std::string_view settingsBytes =
      split == std::string_view::npos ? std::string_view() : input.substr(split + 2);

  quorvel::LogData log;
  quorvel::ChannelTable table{};
  quorvel::applyChannelDefaults(table);
  quorvel::LogReader reader(log, table);
  const size_t block = logBytes.empty() ? 1 : static_cast<unsigned char>(logBytes[0]) % 13 + 1;
  for (size_t at = 0; at < logBytes.size(); at += block)
    reader.feed(logBytes.data() + at, std::min(block, logBytes.size() - at));
  reader.finish();
  quorvel::SettingsFile settings;
  settings.load(settingsBytes);
  quorvel::applyChannelSettings(settings, table, log.fieldCount);
  quorvel::deriveLabels(table, log.fieldCount);

  std::string err;
  check(quorvel::writeExport("/nonexistent/log.csv", exportFile(), table, log.fieldCount,
                             log.dataRows, nullptr, &err));
  const std::string bytes = readAll(exportFile());

  // The converter's way: read on a thread of its own while the rows are written.
  {
    std::ofstream(streamedLog(), std::ios::binary | std::ios::trunc) << logBytes;
    quorvel::ProgramState state;
    quorvel::applyChannelDefaults(state.channelTable);
    state.logPath = streamedLog();
    quorvel::ConversionTuning tuning;
    tuning.streamFrom = 0;
    tuning.stream.readBlock = block;
    tuning.stream.countBlock = block * 3;
    tuning.stream.runRows = size % 7 + 1;
    tuning.stream.runsAhead = size % 3 + 1;
    tuning.rows.threads = size % 2 + 1;
    auto prepare = [&](quorvel::ProgramState& read, std::string*) {
      quorvel::applyChannelSettings(settings, read.channelTable, read.log.fieldCount);
      return true;
    };
    check(quorvel::convertLogFile(state, prepare, nullptr, &err, tuning) ==
          quorvel::ConversionFailure::kNone);
    check(readAll(state.exportPath) == bytes);
    std::remove(state.exportPath.c_str());
    std::remove(streamedLog().c_str());
  }

  // Every line ends with CR LF, and no CR or LF stands anywhere else.
  std::vector<std::string_view> lines;
  std::string_view rest = bytes;
  while (!rest.empty()) {
    size_t end = rest.find("\r\n");
    check(end != std::string_view::npos);
    std::string_view line = rest.substr(0, end);
    check(line.find_first_of("\r\n") == std::string_view::npos);
    lines.push_back(line);
    rest.remove_prefix(end + 2);
  }
  check(lines.size() >= 14);
  check(lines[lines.size() - 2] == "-1,0" && lines.back() == "EOD");
  const int32_t columns = quorvel::exportColumnCount(table, log.fieldCount);
  check(lines[3] == "VECTORS" && lines[4] == "0," + std::to_string(log.dataRows.size() + 12));
  check(lines[6] == "TUPLES" && lines[7] == "0," + std::to_string(columns));
  check(lines[8].size() == 99);

  // Tuple starts: data rows + 13; every data tuple has exportColumnCount cells of two lines.
  size_t tuples = 0;
  size_t firstData = 0;
  for (size_t i = 12; i + 1 < lines.size(); ++i) {
    if (lines[i] == "-1,0" && lines[i + 1] == "BOT") {
      if (++tuples == 14) firstData = i;
    }
  }
  check(tuples == log.dataRows.size() + 13);
  if (firstData != 0) {
    size_t dataLines = lines.size() - 2 - firstData;
    check(dataLines == log.dataRows.size() * (2 + 2 * static_cast<size_t>(columns)));
  }

  // The reader against the model, for ASCII logs: the header after the "AFR" rule, the field
  // count, and every data row.
  const std::string logText(logBytes);
  if (model::isAscii(logText)) {
    std::vector<std::string> modelLines = model::lines(logText);
    size_t header = 0;
    while (header < modelLines.size() && modelLines[header].rfind('"', 0) != 0) ++header;
    if (header == modelLines.size()) {
      check(!log.headerFound && log.fieldCount == 0 && log.dataRows.size() == 0);
    } else {
      const std::string expected = model::afrRule(modelLines[header]);
      check(log.headerLine == expected);
      const int fields = model::count(expected, "\",\"") + 1;
      check(log.fieldCount == std::min(fields, quorvel::kChannelTableSize));
      check(log.dataRows.size() == modelLines.size() - header - 1);
      for (size_t i = 0; i < log.dataRows.size(); ++i)
        check(log.dataRows[i] == modelLines[header + 1 + i]);
    }
  }

  // Every data tuple against the model's cells: the exported fields in order, times converted.
  std::vector<int> fieldNumbers{1};
  for (int k = 1; k < log.fieldCount; ++k)
    if (table[k].enabled != 0) fieldNumbers.push_back(k + 1);
  std::vector<std::string> rows;
  for (size_t i = 0; i < log.dataRows.size(); ++i) rows.emplace_back(log.dataRows[i]);
  const int64_t start = model::startMs(rows);
  size_t at = firstData;
  for (const std::string& row : rows) {
    check(lines[at] == "-1,0" && lines[at + 1] == "BOT");
    at += 2;
    for (const std::string& cell : model::cells(row, fieldNumbers, start)) {
      check(lines[at] == cell && lines[at + 1] == "V");
      at += 2;
    }
  }
  return 0;
}
