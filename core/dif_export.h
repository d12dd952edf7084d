// The DIF export in the "LMTR" layout: header, thirteen descriptor tuples, one tuple per data
// row, end marker. UTF-8 without a byte-order mark, CR LF after every line.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

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
