#include "bench_files.h"

#include <stdlib.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "generate_log.h"

namespace quorvel {

BenchFiles::BenchFiles(const std::string& givenLog) {
  std::string pattern = (std::filesystem::temp_directory_path() / "quorvel-bench-XXXXXX").string();
  if (!::mkdtemp(pattern.data())) {
    std::perror("quorvel bench: cannot make a temporary folder");
    std::exit(1);
  }
  folder_ = pattern;
  log_ = givenLog;
  if (log_.empty()) {
    log_ = file("log1m.csv");
    if (!generateLog(log_, 1000000)) {
      std::fprintf(stderr, "quorvel bench: cannot write %s\n", log_.c_str());
      std::exit(1);
    }
  }
}

BenchFiles::~BenchFiles() {
  std::error_code ignored;
  std::filesystem::remove_all(folder_, ignored);
}

std::string takeArgument(int* argc, char** argv, const std::string& name) {
  const std::string prefix = "--" + name + "=";
  for (int i = 1; i < *argc; ++i) {
    std::string arg = argv[i];
    if (arg.rfind(prefix, 0) != 0) continue;
    for (int j = i; j + 1 < *argc; ++j) argv[j] = argv[j + 1];
    --*argc;
    return arg.substr(prefix.size());
  }
  return {};
}

}  // namespace quorvel
