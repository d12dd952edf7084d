// Helpers for tests that work on real files: a fresh temporary folder per test.
#pragma once

#ifdef _WIN32
#include <process.h>
#else
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <random>
#include <string>
#include <vector>
#include <algorithm>
#include <chrono>

namespace quorvel::testing {

// A folder of its own, removed with everything in it at the end of the test.
class TempDir {
 public:
  TempDir() {
#ifdef _WIN32
    // No mkdtemp here, and random_device may repeat across processes: take a name made of the
    // process, the clock and a count, and only a folder that this call itself created.
    static unsigned count = 0;
    std::random_device random;
    for (;;) {
      auto folder = std::filesystem::temp_directory_path() /
                    ("quorvel-test-" + std::to_string(::_getpid()) + "-" +
                     std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()) +
                     "-" + std::to_string(count++) + "-" + std::to_string(random()));
      if (std::filesystem::create_directory(folder)) {
        path_ = folder.string();
        break;
      }
    }
#else
    std::string pattern = (std::filesystem::temp_directory_path() / "quorvel-test-XXXXXX").string();
    path_ = ::mkdtemp(pattern.data());
#endif
  }
  ~TempDir() {
    std::error_code ignored;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(path_, ignored);
  }
  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }

  // Names of the entries in the folder, sorted.
  std::vector<std::string> entries() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(path_))
      names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

 private:
  std::string path_;
};

// A log's header line of that many fields: "Time", then "C1", "C2", ... ended by lineEnd.
inline std::string logHeader(int fields, const std::string& lineEnd = "\n") {
  std::string text = "\"Time\"";
  for (int i = 1; i < fields; ++i) text += ",\"C" + std::to_string(i) + "\"";
  return text + lineEnd;
}

// text, count times over: the rows of a test log.
inline std::string repeated(const std::string& text, size_t count) {
  std::string result;
  result.reserve(text.size() * count);
  for (size_t i = 0; i < count; ++i) result += text;
  return result;
}

inline void writeFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

inline std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

#ifndef _WIN32
// Runs work in a child process whose files may not grow beyond limit bytes, so that writes
// fail for real (EFBIG, as on a full disk). Gives the child's exit code: work's result.
inline int runWithFileSizeLimit(rlim_t limit, const std::function<int()>& work) {
  pid_t child = ::fork();
  if (child == 0) {
    ::signal(SIGXFSZ, SIG_IGN);
    struct rlimit bound = {limit, limit};
    ::setrlimit(RLIMIT_FSIZE, &bound);
    ::_exit(work());
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
#endif

}  // namespace quorvel::testing
