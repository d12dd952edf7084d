#include "convert_options.h"

#include <gtest/gtest.h>

namespace quorvel {
namespace {

TEST(ConvertOptions, Accepted) {
  ConvertOptions o;
  std::string err;
  ASSERT_TRUE(parseConvertOptions({"--settings", "s.ini", "-o", "out", "-q", "a.csv", "--",
                                   "-b.csv"},
                                  &o, &err))
      << err;
  EXPECT_EQ(o.settingsPath, "s.ini");
  EXPECT_EQ(o.outputDir, "out");
  EXPECT_TRUE(o.quiet);
  EXPECT_EQ(o.logs, (std::vector<std::string>{"a.csv", "-b.csv"}));

  ConvertOptions p;
  ASSERT_TRUE(parseConvertOptions({"--output-dir=o2", "--settings=x.ini", "c.csv"}, &p, &err));
  EXPECT_EQ(p.outputDir, "o2");
  EXPECT_EQ(p.settingsPath, "x.ini");

  ConvertOptions h;
  ASSERT_TRUE(parseConvertOptions({"--help"}, &h, &err));  // no log needed for --help
  EXPECT_TRUE(h.help);
}

TEST(ConvertOptions, UsageErrors) {
  const std::pair<std::vector<std::string>, const char*> cases[] = {
      {{}, "no log given"},
      {{"-q"}, "no log given"},
      {{"--frobnicate", "a.csv"}, "unknown option --frobnicate"},
      {{"a.csv", "-o"}, "option -o needs a value"},
      {{"--settings"}, "option --settings needs a value"},
      {{"--settings=", "a.csv"}, "option --settings needs a non-empty value"},
      {{"--settings", "", "a.csv"}, "option --settings needs a non-empty value"},
      {{"-o", "", "a.csv"}, "option --output-dir needs a non-empty value"},
      {{"--output-dir=", "a.csv"}, "option --output-dir needs a non-empty value"},
      {{"--settings", "s", "--no-settings", "a.csv"}, "--settings and --no-settings exclude each other"},
  };
  for (const auto& [args, message] : cases) {
    ConvertOptions o;
    std::string err;
    EXPECT_FALSE(parseConvertOptions(args, &o, &err)) << message;
    EXPECT_EQ(err, message);
  }
}

}  // namespace
}  // namespace quorvel
