// quorvel-convert: the window's "Convert" for batches and scripts.
#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "channel_settings.h"
#include "conversion.h"
#include "convert_options.h"
#include "file_system.h"
#include "paths.h"
#include "settings_location.h"

using namespace quorvel;

namespace {

constexpr char kProgram[] = "quorvel-convert";

void report(const std::string& path, const std::string& reason) {
  std::fprintf(stderr, "%s: %s: %s\n", kProgram, path.c_str(), reason.c_str());
}

// A one-line progress bar on stderr, redrawn only when the shown percentage changes.
class TerminalProgress {
 public:
  TerminalProgress(std::string name, size_t rows) : name_(std::move(name)), rows_(rows) {}

  void update(int32_t rowsWritten) {
    int percent = rows_ == 0 ? 100 : static_cast<int>(100.0 * rowsWritten / rows_);
    if (percent == shown_) return;
    shown_ = percent;
    constexpr int kWidth = 30;
    int filled = percent * kWidth / 100;
    std::fprintf(stderr, "\r%s [%s%s] %3d%%", name_.c_str(), std::string(filled, '#').c_str(),
                 std::string(kWidth - filled, ' ').c_str(), percent);
    std::fflush(stderr);
  }
  void finish() { std::fputc('\n', stderr); }

 private:
  std::string name_;
  size_t rows_;
  int shown_ = -1;
};

}  // namespace

int main(int argc, char** argv) {
  ConvertOptions options;
  std::string err;
  if (!parseConvertOptions(commandLineArguments(argc, argv), &options, &err)) {
    std::fprintf(stderr, "%s: %s\nTry '%s --help'.\n", kProgram, err.c_str(), kProgram);
    return 2;
  }
  if (options.help) {
    std::fputs(kConvertUsage, stdout);
    return 0;
  }
  if (options.version) {
    std::printf("%s 0.65\n", kProgram);
    return 0;
  }

  // The settings file is read once and only read: the window may hold it meanwhile.
  SettingsFile settings;
  bool useSettings = false;
  if (!options.noSettings) {
    bool explicitFile = !options.settingsPath.empty();
    std::string path = options.settingsPath;
    if (!explicitFile) {
      std::string self;
      // The file the window uses when both programs are installed side by side.
      if (programPath(&self, &err)) path = settingsPathOnThisMachine(directoryPart(self) + "quorvel");
    }
    if (!path.empty()) {
      settings.open(path, /*forWriting=*/false);
      switch (settings.hold()) {
        case SettingsHold::kReadOnly:
        case SettingsHold::kReadWrite:
          useSettings = true;
          break;
        case SettingsHold::kAbsent:
          if (explicitFile) report(path, "not found; using the built-in defaults");
          break;
        case SettingsHold::kUnreadable:
          report(path, settings.openError());
          if (explicitFile) return 2;
          std::fprintf(stderr, "%s: using the built-in defaults\n", kProgram);
          break;
      }
    }
  }

  if (!options.outputDir.empty() && !createDirectories(options.outputDir, &err)) {
    report(options.outputDir, "cannot create the folder: " + err);
    return 1;
  }

  const bool showProgress = !options.quiet && standardErrorIsTerminal();
  std::set<std::string> written;
  bool allConverted = true;
  for (const std::string& logPath : options.logs) {
    ProgramState state;
    applyChannelDefaults(state.channelTable);
    state.logPath = logPath;
    if (!readLogFile(state, &err)) {
      report(logPath, err);
      allConverted = false;
      continue;
    }
    if (useSettings) applyChannelSettings(settings, state.channelTable, state.log.fieldCount);

    state.exportPath = options.outputDir.empty()
                           ? exportPathFor(logPath)
                           : options.outputDir + "/" + baseName(logPath) + ".dif";
    if (!written.insert(state.exportPath).second) {
      report(logPath, "its export " + state.exportPath +
                          " was already written by this run from another log; not overwritten");
      allConverted = false;
      continue;
    }
    TerminalProgress bar(filePart(logPath), state.log.dataRows.size());
    ProgressCallback progress;
    if (showProgress) progress = [&bar](int32_t rows) { bar.update(rows); };
    bool ok = exportLog(state, progress, &err);
    if (showProgress) bar.finish();
    if (!ok) {
      report(state.exportPath, err);
      allConverted = false;
    }
  }
  return allConverted ? 0 : 1;
}
