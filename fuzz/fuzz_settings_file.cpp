// The settings file on arbitrary bytes: parse, rewrite, parse again. The rewrite of the
// rewrite must equal the first rewrite (a zero-byte file's gains the mark), and no entry may
// be lost on the way.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "settings_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  quorvel::SettingsFile first;
  first.load(std::string_view(reinterpret_cast<const char*>(data), size));
  // Exercise the lookups and writes the program makes.
  first.selectGroup("Channel1");
  first.readInteger("Enabled", 1);
  first.readText("Name", "x");
  first.writeInteger("Color", -5);
  std::string rewrite = first.render();

  quorvel::SettingsFile second;
  second.load(rewrite);
  if (second.entries().size() != first.entries().size()) std::abort();
  for (size_t i = 0; i < first.entries().size(); ++i) {
    const auto& a = first.entries()[i];
    const auto& b = second.entries()[i];
    if (a.kind != b.kind || a.text != b.text || a.value != b.value) std::abort();
  }
  // A zero-byte file is rewritten without the mark; read back, that rewrite is no longer
  // empty, so it takes the mark. Any other rewrite comes back byte for byte.
  const std::string mark = "\xEF\xBB\xBF\r\n";
  const bool hadMark = rewrite.compare(0, mark.size(), mark) == 0;
  if (second.render() != (hadMark || rewrite.empty() ? rewrite : mark + rewrite)) std::abort();
  second.selectGroup("Channel1");
  if (second.readInteger("Color", 0) != -5) std::abort();
  return 0;
}
