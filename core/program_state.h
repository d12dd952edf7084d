// The program-wide state: owned by the flow, passed by reference to every step.
#pragma once

#include <string>

#include "channel_table.h"
#include "log_reader.h"

namespace quorvel {

struct ProgramState {
  ChannelTable channelTable{};  // ten zeroed entries until applyChannelDefaults
  LogData log;                  // headerLine, fieldCount, headerFound, dataRows
  std::string logPath;
  std::string settingsPath;
  std::string exportPath;
};

}  // namespace quorvel
