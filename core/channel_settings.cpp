#include "channel_settings.h"

namespace quorvel {

namespace {

std::string groupName(int n) { return "Channel" + std::to_string(n); }

}  // namespace

void loadChannelSettings(SettingsFile& settings, const std::string& settingsPath,
                         ChannelTable& channelTable, int32_t fieldCount, bool forWriting) {
  settings.open(settingsPath, forWriting);
  applyChannelSettings(settings, channelTable, fieldCount);
}

void applyChannelSettings(SettingsFile& settings, ChannelTable& channelTable, int32_t fieldCount) {
  for (int n = 1; n <= lastChannel(fieldCount); ++n) {
    ChannelSettings& channel = channelTable[n];
    settings.selectGroup(groupName(n));
    channel.enabled = settings.readInteger("Enabled", channel.enabled);
    channel.name = settings.readText("Name", channel.name);
    channel.unit = settings.readText("Unit", channel.unit);
    channel.color = settings.readInteger("Color", channel.color);
  }
}

bool saveChannelSettings(SettingsFile& settings, const ChannelTable& channelTable,
                         int32_t fieldCount, std::string* err) {
  for (int n = 1; n <= lastChannel(fieldCount); ++n) {
    const ChannelSettings& channel = channelTable[n];
    settings.selectGroup(groupName(n));
    settings.writeInteger("Enabled", channel.enabled);
    settings.writeText("Name", channel.name);
    settings.writeText("Unit", channel.unit);
    settings.writeInteger("Color", channel.color);
  }
  return settings.close(err);
}

}  // namespace quorvel
