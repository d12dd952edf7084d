// Where the benchmarks keep their files: a folder made afresh for each run (never a file left
// by an earlier run), removed at the end, and the 1,000,000-row log in it unless one is given.
#pragma once

#include <string>

namespace quorvel {

class BenchFiles {
 public:
  // Uses the log at givenLog, or generates one into the fresh folder when it is empty.
  explicit BenchFiles(const std::string& givenLog);
  ~BenchFiles();
  BenchFiles(const BenchFiles&) = delete;
  BenchFiles& operator=(const BenchFiles&) = delete;

  const std::string& log() const { return log_; }
  // A path for the name in the fresh folder.
  std::string file(const std::string& name) const { return folder_ + "/" + name; }

 private:
  std::string folder_;
  std::string log_;
};

// The value of an argument "--name=VALUE" in argv, removed from argv; empty when absent.
std::string takeArgument(int* argc, char** argv, const std::string& name);

}  // namespace quorvel
