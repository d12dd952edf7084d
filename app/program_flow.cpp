#include "program_flow.h"

#include <cstdio>

#include "channel_settings.h"
#include "conversion.h"
#include "user_interface.h"

namespace quorvel {

void runProgram(ProgramState& state, UserInterface& ui, const std::string& settingsPath) {
  applyChannelDefaults(state.channelTable);
  // A log named when the program was started (dropped on it, "Open with") needs no dialog.
  if (state.logPath.empty()) state.logPath = ui.chooseLog();
  if (state.logPath.empty()) return;

  std::string err;
  if (!readLogFile(state, &err)) {
    ui.showError("The log " + state.logPath + " could not be read: " + err);
    return;
  }

  state.settingsPath = settingsPath;
  SettingsFile settings;
  loadChannelSettings(settings, state.settingsPath, state.channelTable, state.log.fieldCount);
  ui.runWindow(state);
  // The window stays shown, no longer answering, until the settings are saved.
  if (!saveChannelSettings(settings, state.channelTable, state.log.fieldCount, &err))
    std::fprintf(stderr, "quorvel: the settings file %s could not be saved: %s\n",
                 state.settingsPath.c_str(), err.c_str());
}

}  // namespace quorvel
