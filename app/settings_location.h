// Where the window keeps its channel settings, and so where quorvel-convert reads them.
#pragma once

#include <string>

namespace quorvel {

// Beside the program and named after it (settingsPathFor); but when the program's folder may
// not be written (a system-wide install), the per-user file quorvel/quorvel.ini in
// userConfigFolder, where the settings survive. The folder part only when that is empty.
std::string chooseSettingsPath(const std::string& programPath, bool programFolderWritable,
                               const std::string& userConfigFolder);

// chooseSettingsPath for this machine: asks the file system and the environment.
std::string settingsPathOnThisMachine(const std::string& programPath);

}  // namespace quorvel
