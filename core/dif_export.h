// The DIF export in the "LMTR" layout: header, thirteen descriptor tuples, one tuple per data
// row, end marker. UTF-8 without a byte-order mark, CR LF after every line.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "channel_table.h"
#include "data_rows.h"
#include "row_store.h"

namespace quorvel {

// Length of the TUPLES header item's text.
inline constexpr int kColumnPatternLength = 97;

// 1 (the time column) plus the number of channels 1 to fieldCount - 1 that are enabled.
int32_t exportColumnCount(const ChannelTable& channelTable, int32_t fieldCount);

// "1", one "2" per further exported column, then "0" up to 97 characters.
std::string columnPattern(int32_t exportColumnCount);

// The label, the label and "(unit)" for the time column, or the label and " (unit)"; the
// label alone when label and unit are equal.
std::string columnTitle(const ChannelSettings& channel, bool isTimeColumn);

// Whether an export of a log with fieldCount header fields may be written from logPath to
// exportPath. False with *err when fieldCount is above the table's ten entries or when
// exportPath is the log itself.
bool exportAllowed(const std::string& logPath, const std::string& exportPath,
                   int32_t fieldCount, std::string* err);

// The export's beginning for a log of rowCount data rows: the four header items and the
// thirteen descriptor tuples, from entries 0 to fieldCount - 1 of the channel table (labels
// already derived). Only the VECTORS number depends on rowCount.
std::string exportHead(const ChannelTable& channelTable, int32_t fieldCount, size_t rowCount);

// The row fields of the exported columns: 1 (the time column), then k + 1 for each
// exported channel k.
std::vector<int> exportedFieldNumbers(const ChannelTable& channelTable, int32_t fieldCount);

// The most fields a data row is split into for the export.
int exportRowFields(int32_t fieldCount);

// The reason given for a failure while the data rows were written.
std::string exportWriteError(const std::string& reason);

// Writes the export of the log at logPath to exportPath: entries 0 to fieldCount - 1 of the
// channel table (labels already derived) and the data rows. A fieldCount above the table's
// ten entries is refused. The file is written under a
// temporary name and moved into place when complete, so a failure leaves any earlier export
// untouched. Refuses an exportPath that is the log itself. The data rows are formatted on as
// many threads as tuning says (the bytes are the same for any number); progress is called on
// the calling thread. Returns false with *err on failure.
bool writeExport(const std::string& logPath, const std::string& exportPath,
                 const ChannelTable& channelTable, int32_t fieldCount, const RowStore& dataRows,
                 const ProgressCallback& progress, std::string* err,
                 const RowWriterTuning& tuning = {});

}  // namespace quorvel
