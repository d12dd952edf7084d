// Benchmarks of the hot paths: reading a 1,000,000-row log beside a plain scan of the same
// file, writing its export, and a settings file of 100,000 keys.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>

#include "bench_files.h"
#include "channel_settings.h"
#include "dif_export.h"
#include "file_system.h"
#include "generate_log.h"
#include "log_reader.h"

namespace quorvel {
namespace {

// The run's files: a fresh folder, and the 1,000,000-row log (set up by main).
BenchFiles* files = nullptr;

const std::string& benchLog() { return files->log(); }

// The baseline: read the file whole and count its line ends.
void BM_PlainScan(benchmark::State& state) {
  const std::string& path = benchLog();
  for (auto _ : state) {
    int fd = ::open(path.c_str(), O_RDONLY);
    std::string content(std::filesystem::file_size(path), '\0');
    size_t got = 0;
    while (got < content.size()) {
      ssize_t n = ::read(fd, content.data() + got, content.size() - got);
      if (n <= 0) break;
      got += static_cast<size_t>(n);
    }
    ::close(fd);
    benchmark::DoNotOptimize(std::count(content.begin(), content.end(), '\n'));
  }
  state.SetBytesProcessed(state.iterations() * std::filesystem::file_size(path));
}
BENCHMARK(BM_PlainScan)->Unit(benchmark::kMillisecond);

void BM_ReadLog(benchmark::State& state) {
  const std::string& path = benchLog();
  for (auto _ : state) {
    InputFile file;
    std::string err;
    openLog(path, &file, &err);
    LogData log;
    ChannelTable table{};
    readLog(file, log, table, &err);
    benchmark::DoNotOptimize(log.dataRows.size());
  }
  state.SetBytesProcessed(state.iterations() * std::filesystem::file_size(path));
}
BENCHMARK(BM_ReadLog)->Unit(benchmark::kMillisecond);

void BM_WriteExport(benchmark::State& state) {
  InputFile file;
  std::string err;
  openLog(benchLog(), &file, &err);
  LogData log;
  ChannelTable table{};
  applyChannelDefaults(table);
  readLog(file, log, table, &err);
  table[9].enabled = 1;
  deriveLabels(table, log.fieldCount);
  const std::string out = files->file("log1m.dif");
  // Threads: the argument; 0 lets the export choose (the hardware's count).
  const RowWriterTuning tuning{static_cast<int>(state.range(0))};
  for (auto _ : state) {
    writeExport(benchLog(), out, table, log.fieldCount, log.dataRows, [](int32_t) {}, &err,
                tuning);
  }
  std::filesystem::remove(out);
}
BENCHMARK(BM_WriteExport)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();

// Load and rewrite of a settings file with 100,000 keys in 10,000 groups.
void BM_SettingsFile100k(benchmark::State& state) {
  const std::string path = files->file("100k.ini");
  std::string text;
  for (int g = 0; g < 10000; ++g) {
    text += "[Group" + std::to_string(g) + "]\n";
    for (int k = 0; k < 10; ++k) text += "Key" + std::to_string(k) + " = value " + std::to_string(g) + "\n";
  }
  ChannelTable table{};
  applyChannelDefaults(table);
  for (auto _ : state) {
    state.PauseTiming();
    std::FILE* f = std::fopen(path.c_str(), "wb");
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
    state.ResumeTiming();
    SettingsFile settings;
    loadChannelSettings(settings, path, table, 10);
    saveChannelSettings(settings, table, 10);
  }
  std::filesystem::remove(path);
}
BENCHMARK(BM_SettingsFile100k)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace quorvel

// --log=PATH uses that log instead of generating one.
int main(int argc, char** argv) {
  quorvel::BenchFiles benchFiles(quorvel::takeArgument(&argc, argv, "log"));
  quorvel::files = &benchFiles;
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
