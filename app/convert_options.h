// The command line of quorvel-convert.
#pragma once

#include <string>
#include <vector>

namespace quorvel {

struct ConvertOptions {
  std::string settingsPath;  // empty: the default file beside the program
  bool noSettings = false;   // built-in defaults and the header's names only
  std::string outputDir;     // empty: each export beside its log
  bool quiet = false;
  bool help = false;
  bool version = false;
  std::vector<std::string> logs;
};

// The usage text that --help prints.
extern const char kConvertUsage[];

// Reads the arguments (without the program name). Returns false with *err on a usage error.
bool parseConvertOptions(const std::vector<std::string>& args, ConvertOptions* options,
                         std::string* err);

}  // namespace quorvel
