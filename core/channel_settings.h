// The mapping between the channel table and the settings file: group "Channel" + n per
// channel n, with the keys "Enabled", "Name", "Unit" and "Color".
#pragma once

#include <cstdint>
#include <string>

#include "channel_table.h"
#include "settings_file.h"

namespace quorvel {

// Opens the settings file at settingsPath (held for the later save when forWriting) and loads
// enabled, name, unit and color of channels 1 to fieldCount - 1; a missing key keeps the
// table's value. The file stays open in settings.
void loadChannelSettings(SettingsFile& settings, const std::string& settingsPath,
                         ChannelTable& channelTable, int32_t fieldCount, bool forWriting = true);

// Loads the same values from a settings file that is already open.
void applyChannelSettings(SettingsFile& settings, ChannelTable& channelTable, int32_t fieldCount);

// Writes enabled, name, unit and color of channels 1 to fieldCount - 1 and closes the file,
// which rewrites it. Returns false with *err when the rewrite failed.
bool saveChannelSettings(SettingsFile& settings, const ChannelTable& channelTable,
                         int32_t fieldCount, std::string* err = nullptr);

}  // namespace quorvel
