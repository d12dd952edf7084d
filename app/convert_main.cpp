// quorvel-convert: the window's "Convert" for batches and scripts.
#include <cstdio>
#include <set>
#if defined(__GLIBC__)
#include <malloc.h>
#endif
#include <string>
#include <vector>

#include "channel_settings.h"
#include "conversion.h"
#include "convert_options.h"
#include "file_system.h"
#include "paths.h"
#include "settings_location.h"
#include "version.h"

using namespace quorvel;

namespace {

constexpr char kProgram[] = "quorvel-convert";

void report(const std::string& path, const std::string& reason) {
  std::fprintf(stderr, "%s: %s: %s\n", kProgram, printablePath(path).c_str(),
               printablePath(reason).c_str());
}

// Where a file lies as a file, whatever the spelling of its path: its folder's identity and
// its name there.
struct Place {
  FileIdentity folder;
  std::string name;
  auto operator<=>(const Place&) const = default;
};

// The place of path. False when its folder does not exist (nothing can be written there).
bool placeOf(const std::string& path, Place* place) {
  std::string folder = directoryPart(path);
  place->name = filePart(path);
  return fileIdentity(folder.empty() ? "." : folder, &place->folder, nullptr);
}

// The files of one run: the logs named, and the exports written so far. An export may replace
// neither a log of the run (before or after it is read) nor an export written earlier in the
// run, however the two paths are spelled.
class RunFiles {
 public:
  explicit RunFiles(const std::vector<std::string>& logs) {
    for (const std::string& log : logs) {
      Place place;
      if (placeOf(log, &place)) logPlaces_.insert(place);
      FileIdentity file;
      if (fileIdentity(log, &file, nullptr)) logFiles_.insert(file);
    }
  }

  // Why the export at path may not be written; empty when it may.
  std::string refusal(const std::string& path) const {
    Place place;
    FileIdentity file;
    const bool placed = placeOf(path, &place);
    const bool exists = fileIdentity(path, &file, nullptr);
    if ((placed && logPlaces_.count(place)) || (exists && logFiles_.count(file)))
      return "its export " + path + " is a log of this run; not overwritten";
    if ((placed && written_.count(place)) || (exists && writtenFiles_.count(file)))
      return "its export " + path + " was already written by this run from another log; " +
             "not overwritten";
    return {};
  }

  // Records an export once it is written.
  void wrote(const std::string& path) {
    Place place;
    if (placeOf(path, &place)) written_.insert(place);
    FileIdentity file;
    if (fileIdentity(path, &file, nullptr)) writtenFiles_.insert(file);
  }

 private:
  std::set<Place> logPlaces_, written_;
  std::set<FileIdentity> logFiles_, writtenFiles_;
};

// A one-line progress bar on stderr, redrawn only when the shown percentage changes. The
// expected number of rows may be an estimate: the bar stops short of 100% until finished.
class TerminalProgress {
 public:
  explicit TerminalProgress(std::string name) : name_(std::move(name)) {}

  void update(int32_t rowsWritten, size_t rowsExpected) {
    int percent = rowsExpected == 0 ? 100 : static_cast<int>(100.0 * rowsWritten / rowsExpected);
    draw(percent > 99 ? 99 : percent);
  }
  bool shown() const { return shown_ >= 0; }
  // Ends the line; at 100% when the export was written.
  void finish(bool complete) {
    if (complete) draw(100);
    std::fputc('\n', stderr);
  }

 private:
  void draw(int percent) {
    if (percent == shown_) return;
    shown_ = percent;
    constexpr int kWidth = 30;
    int filled = percent * kWidth / 100;
    std::fprintf(stderr, "\r%s [%s%s] %3d%%", name_.c_str(), std::string(filled, '#').c_str(),
                 std::string(kWidth - filled, ' ').c_str(), percent);
    std::fflush(stderr);
  }

  std::string name_;
  int shown_ = -1;
};

}  // namespace

int main(int argc, char** argv) {
  // Ctrl-C or a kill in the middle of an export leaves no temporary file behind.
  removeTemporariesOnInterrupt();
#if defined(__GLIBC__)
  // The threads that read, count and format a log allocate little, and only at the start:
  // one shared heap keeps the memory the converter takes close to what it uses, instead of
  // reserving 64 MiB more for each thread.
  mallopt(M_ARENA_MAX, 1);
#endif
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
    std::printf("%s %s\n", kProgram, QUORVEL_VERSION);
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
      if (programPath(&self, &err))
        path = settingsPathOnThisMachine(directoryPart(self) + "quorvel");
      else
        std::fprintf(stderr, "%s: cannot find this program's own file (%s); using the built-in "
                     "defaults\n", kProgram, err.c_str());
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
  RunFiles runFiles(options.logs);
  bool allConverted = true;
  for (const std::string& logPath : options.logs) {
    ProgramState state;
    applyChannelDefaults(state.channelTable);
    state.logPath = logPath;
    // Once the header is read: the settings for its channels, and where the export goes.
    auto prepare = [&](ProgramState& read, std::string* reason) {
      if (useSettings) applyChannelSettings(settings, read.channelTable, read.log.fieldCount);
      read.exportPath = options.outputDir.empty()
                            ? exportPathFor(logPath)
                            : options.outputDir + "/" + baseName(logPath) + ".dif";
      *reason = runFiles.refusal(read.exportPath);
      return reason->empty();
    };
    TerminalProgress bar(filePart(logPath));
    ConversionProgress progress;
    if (showProgress) progress = [&bar](int32_t rows, size_t expected) { bar.update(rows, expected); };
    ConversionFailure failure = convertLogFile(state, prepare, progress, &err);
    if (showProgress && bar.shown()) bar.finish(failure == ConversionFailure::kNone);
    switch (failure) {
      case ConversionFailure::kNone:
        runFiles.wrote(state.exportPath);
        break;
      case ConversionFailure::kLog:
      case ConversionFailure::kPrepare:
        report(logPath, err);
        allConverted = false;
        break;
      case ConversionFailure::kExport:
        report(state.exportPath, err);
        allConverted = false;
        break;
    }
  }
  return allConverted ? 0 : 1;
}
