#include "settings_location.h"

#include "file_system.h"
#include "paths.h"

namespace quorvel {

std::string chooseSettingsPath(const std::string& programPath, bool programFolderWritable,
                               const std::string& userConfigFolder) {
  if (programFolderWritable || userConfigFolder.empty()) return settingsPathFor(programPath);
  const char separator = userConfigFolder.find('\\') != std::string::npos ? '\\' : '/';
  return userConfigFolder + separator + "quorvel" + separator + "quorvel.ini";
}

std::string settingsPathOnThisMachine(const std::string& programPath) {
  std::string folder = directoryPart(programPath);
  return chooseSettingsPath(programPath, isFolderWritable(folder), userConfigFolder());
}

}  // namespace quorvel
