#include "core/paths.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "core/process.h"
#include "core/variable.h"

namespace kwl {
namespace {

using namespace std::string_literals;

// A name holding a zero byte must not be shortened into another file's name; a relative name
// is the page's, and a failed load keeps the value (the pages show the other failures).
TEST(Paths, LoadingFiles) {
  std::string pattern = (std::filesystem::temp_directory_path() / "kwlpathsXXXXXX").string();
  const std::string dir = mkdtemp(pattern.data());
  const std::string path = dir + "/data.bin";
  std::ofstream(path, std::ios::binary) << "head\0tail"s;
  Process proc;
  std::string loaded = "stale";
  EXPECT_FALSE(LoadWholeFile(proc, path + "\0.secret"s, &loaded));
  EXPECT_EQ(loaded, "");
  proc.pagePath = dir + "/page.kwl";
  Variable var("v");
  ASSERT_TRUE(LoadFileIntoVariable(proc, "data.bin", var));
  EXPECT_EQ(VarText(var), "head\0tail"s);
  VarSet(var, "kept");
  EXPECT_FALSE(LoadFileIntoVariable(proc, "nothing.bin", var));
  EXPECT_EQ(VarText(var), "kept");
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace kwl
