#include "channel_table.h"

namespace quorvel {

namespace {

struct ChannelDefault {
  int32_t color;
  const char* unit;
  const char* rangeLow;
  const char* rangeHigh;
};

// Channels 1 to 8; channel 9 has no defaults.
constexpr ChannelDefault kChannelDefaults[] = {
    {0x00DC00DB, "Lambda", "0.6", "1.5"},  {0x00000000, "RPM", "0", "10000"},
    {0x00FF0000, "kPa", "-700", "700"},    {0x0015DAFF, "degC", "200", "1200"},
    {0x008092AF, "%", "0", "100"},         {0x00F0B7C6, "Volt", "0", "5"},
    {0x00FF8000, "Volt", "0", "5"},        {0x0000FF00, "AFR", "10", "20"},
};

}  // namespace

void applyChannelDefaults(ChannelTable& channelTable) {
  ChannelSettings& time = channelTable[0];
  time.enabled = 1;
  time.name = "Time";
  time.unit = "sec";
  int k = 1;
  for (const ChannelDefault& preset : kChannelDefaults) {
    ChannelSettings& channel = channelTable[k++];
    channel.enabled = 1;
    channel.color = preset.color;
    channel.unit = preset.unit;
    channel.rangeLow = preset.rangeLow;
    channel.rangeHigh = preset.rangeHigh;
  }
}

std::string deriveLabel(const std::string& name) {
  std::string label;
  label.reserve(name.size());
  for (char c : name) {
    if (c == ' ')
      label += '_';
    else if (c != '-')
      label += c;
  }
  return label;
}

void deriveLabels(ChannelTable& channelTable, int32_t fieldCount) {
  if (fieldCount < 1) return;
  for (int k = 0; k <= lastChannel(fieldCount); ++k)
    channelTable[k].label = deriveLabel(channelTable[k].name);
}

}  // namespace quorvel
