// The channel table: one record per log column, entry 0 being the time column.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace quorvel {

// What the export needs to know about one log column.
struct ChannelSettings {
  int32_t enabled = 0;      // 0: left out of the export; any other value: exported
  int32_t color = 0;        // 0x00BBGGRR, red in the lowest byte
  std::string name;         // display name, edited in the window
  std::string label;        // the name as written into the export (see deriveLabel)
  std::string unit;
  std::string rangeLow;     // display range, written into the export as text
  std::string rangeHigh;
};

// Entries in the table: the time column plus nine channels.
inline constexpr int kChannelTableSize = 10;

// Entry 0 is the log's field 1 (time); entry k is channel k, the log's field k + 1.
using ChannelTable = std::array<ChannelSettings, kChannelTableSize>;

// The last channel of a log whose header has fieldCount fields: channels are 1 to
// fieldCount - 1, and the table holds nine. Every loop over a log's channels runs
// for (int n = 1; n <= lastChannel(fieldCount); ++n); none when the log has no header.
inline int lastChannel(int32_t fieldCount) {
  return fieldCount < 1 ? 0 : fieldCount - 1 < kChannelTableSize - 1 ? fieldCount - 1
                                                                      : kChannelTableSize - 1;
}

// Writes the built-in defaults into entries 0 to 8 (entry 0: enabled, "Time", "sec"; entries 1
// to 8: enabled, colour, unit and range). Names of channels, every label, entry 0's colour and
// range, and all of entry 9 are left as they are.
void applyChannelDefaults(ChannelTable& channelTable);

// Gives the export label for a name: every space becomes "_", every "-" is removed.
std::string deriveLabel(const std::string& name);

// Sets the label of entries 0 to lastChannel(fieldCount) from their names, as the export
// needs them; done once, by the export step (exportLog), so labels never go stale.
void deriveLabels(ChannelTable& channelTable, int32_t fieldCount);

}  // namespace quorvel
