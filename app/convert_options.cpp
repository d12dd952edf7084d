#include "convert_options.h"

namespace quorvel {

const char kConvertUsage[] =
    "Usage: quorvel-convert [OPTIONS] LOG...\n"
    "Converts ZT-2 CSV logs into DIF files in the LMTR layout, exactly as the Quorvel window's\n"
    "\"Convert\" does with the same channel settings. Each export goes beside its log, under the\n"
    "log's base name with \".dif\".\n"
    "\n"
    "  --settings FILE       channel settings file to read (never written). Default: the file\n"
    "                        the window uses: quorvel.ini beside this program, or, where that\n"
    "                        folder may not be written, ~/.config/quorvel/quorvel.ini\n"
    "                        ($XDG_CONFIG_HOME/quorvel/quorvel.ini). A missing file means the\n"
    "                        built-in defaults.\n"
    "  --no-settings         ignore any settings file: built-in defaults and the header's names\n"
    "  -o, --output-dir DIR  write each export into DIR (base name + \".dif\") instead of beside\n"
    "                        its log; DIR is created when missing\n"
    "  -q, --quiet           no progress output\n"
    "  -h, --help            show this help\n"
    "      --version         show the version\n"
    "\n"
    "Exit status: 0 when every log was converted, 1 when any failed (each failure is reported\n"
    "as \"quorvel-convert: PATH: REASON\"), 2 for a usage error or an unreadable --settings file.\n";

bool parseConvertOptions(const std::vector<std::string>& args, ConvertOptions* options,
                         std::string* err) {
  bool optionsEnded = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (optionsEnded || arg.empty() || arg[0] != '-' || arg == "-") {
      options->logs.push_back(arg);
      continue;
    }
    // An option that takes a value: "--name VALUE", "--name=VALUE" or "-o VALUE".
    auto takeValue = [&](const std::string& longName, const char* shortName,
                         std::string* value) -> int {
      if (arg == longName || (shortName && arg == shortName)) {
        if (i + 1 >= args.size()) {
          *err = "option " + arg + " needs a value";
          return -1;
        }
        *value = args[++i];
      } else if (arg.rfind(longName + "=", 0) == 0) {
        *value = arg.substr(longName.size() + 1);
      } else {
        return 0;
      }
      // An empty value would silently mean the default: say so instead.
      if (value->empty()) {
        *err = "option " + longName + " needs a non-empty value";
        return -1;
      }
      return 1;
    };
    int taken = takeValue("--settings", nullptr, &options->settingsPath);
    if (taken == 0) taken = takeValue("--output-dir", "-o", &options->outputDir);
    if (taken < 0) return false;
    if (taken > 0) continue;
    if (arg == "--") {
      optionsEnded = true;
    } else if (arg == "--no-settings") {
      options->noSettings = true;
    } else if (arg == "-q" || arg == "--quiet") {
      options->quiet = true;
    } else if (arg == "-h" || arg == "--help") {
      options->help = true;
    } else if (arg == "--version") {
      options->version = true;
    } else {
      *err = "unknown option " + arg;
      return false;
    }
  }
  if (options->help || options->version) return true;
  if (options->noSettings && !options->settingsPath.empty()) {
    *err = "--settings and --no-settings exclude each other";
    return false;
  }
  if (options->logs.empty()) {
    *err = "no log given";
    return false;
  }
  return true;
}

}  // namespace quorvel
