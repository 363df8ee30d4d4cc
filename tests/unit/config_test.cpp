#include "host/config.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "host/options.h"

namespace kwl {
namespace {

std::string Value(const Scope& config, const char* name) {
  Variable* var = config.Find(name);
  return var ? VarText(*var) : "<missing>";
}

// A worker keeps the file and reads it again when it changes; "!" keys go
// into the request's own environment, never into the worker's.
TEST(ConfigFile, ReadAgainWhenChangedAndEnvironmentPerRequest) {
  std::string pattern = (std::filesystem::temp_directory_path() / "kwlconfXXXXXX").string();
  const std::string dir = mkdtemp(pattern.data());
  const std::string path = dir + "/kwl.conf";
  std::ofstream(path) << "# comment\nkey 1\n!KWL_CONF_TEST_VAR yes\n";
  ConfigFile file;
  Request request;
  request.ClearEnv();
  Scope first;
  file.Apply(first, request, path.c_str());
  EXPECT_EQ(Value(first, "key"), "1");
  ASSERT_NE(request.Env("KWL_CONF_TEST_VAR"), nullptr);
  EXPECT_STREQ(request.Env("KWL_CONF_TEST_VAR"), "yes");
  EXPECT_EQ(std::getenv("KWL_CONF_TEST_VAR"), nullptr);

  std::ofstream(path) << "key 2\n";
  Scope second;
  file.Apply(second, request, path.c_str());
  EXPECT_EQ(Value(second, "key"), "2");

  std::filesystem::remove(path);
  Scope third;
  file.Apply(third, request, path.c_str());
  EXPECT_EQ(Value(third, "key"), "<missing>");
  std::filesystem::remove_all(dir);
}

TEST(Options, PagesOptionsAndMistakes) {
  auto parse = [](std::vector<const char*> args) {
    args.insert(args.begin(), "kwl");
    return ParseOptions(static_cast<int>(args.size()), const_cast<char**>(args.data()));
  };
  using Action = Options::Action;
  EXPECT_EQ(parse({"page.kwl", "a=1"}).action, Action::kRun);
  EXPECT_EQ(parse({}).action, Action::kRun);
  EXPECT_EQ(parse({"--version"}).action, Action::kVersion);
  EXPECT_EQ(parse({"--help"}).action, Action::kHelp);
  Options served = parse({"--fastcgi", "127.0.0.1:9000", "--workers", "3", "--max-requests", "50"});
  EXPECT_EQ(served.action, Action::kFastCgi);
  EXPECT_EQ(served.address, "127.0.0.1:9000");
  EXPECT_EQ(served.workers, 3);
  EXPECT_EQ(served.maxRequests, 50);
  // Standard input as the socket: options without an address.
  EXPECT_EQ(parse({"--workers", "2"}).action, Action::kFastCgi);
  for (auto bad : {std::vector<const char*>{"--fastcgi"},
                   {"--workers", "0"},
                   {"--workers", "2x"},
                   {"--max-requests", "-1"},
                   {"--bogus"}}) {
    EXPECT_EQ(parse(bad).action, Action::kError) << bad[0];
  }
}

}  // namespace
}  // namespace kwl
