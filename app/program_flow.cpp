#include "program_flow.h"

#include <QtGlobal>

#include "channel_settings.h"
#include "conversion.h"
#include "dialogs.h"
#include "settings_window.h"

namespace quorvel {

void runProgram(ProgramState& state, Dialogs& dialogs, const std::string& settingsPath) {
  applyChannelDefaults(state.channelTable);
  // A log named when the program was started (dropped on it, "Open with") needs no dialog.
  if (state.logPath.empty()) state.logPath = dialogs.chooseLog().toStdString();
  if (state.logPath.empty()) return;

  std::string err;
  if (!readLogFile(state, &err)) {
    dialogs.showError(nullptr, QStringLiteral("The log %1 could not be read: %2")
                                   .arg(QString::fromStdString(state.logPath),
                                        QString::fromStdString(err)));
    return;
  }

  state.settingsPath = settingsPath;
  SettingsFile settings;
  loadChannelSettings(settings, state.settingsPath, state.channelTable, state.log.fieldCount);
  {
    SettingsWindow window(state, dialogs);
    if (window.build()) window.runEventLoop();
    // The window stays shown, no longer answering, until the settings are saved.
    if (!saveChannelSettings(settings, state.channelTable, state.log.fieldCount, &err))
      qWarning("quorvel: the settings file %s could not be saved: %s", state.settingsPath.c_str(),
               err.c_str());
  }
}

}  // namespace quorvel
