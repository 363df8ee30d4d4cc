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

TEST(Paths, LoadingFiles) {
  std::string pattern = (std::filesystem::temp_directory_path() / "kwlpathsXXXXXX").string();
  const std::string dir = mkdtemp(pattern.data());
  const std::string bytes = "head\0\r\n\xff tail"s;
  const std::string path = dir + "/data.bin";
  std::ofstream(path, std::ios::binary) << bytes;
  Process proc;
  std::string loaded = "stale";
  ASSERT_TRUE(LoadWholeFile(proc, path, &loaded));
  EXPECT_EQ(loaded, bytes);
  EXPECT_FALSE(LoadWholeFile(proc, dir + "/missing", &loaded));
  EXPECT_EQ(loaded, "");
  EXPECT_FALSE(LoadWholeFile(proc, dir, &loaded));  // a directory
  // The name must not be shortened at a zero byte into another file's name.
  EXPECT_FALSE(LoadWholeFile(proc, path + "\0.secret"s, &loaded));

  // Relative names are resolved against the page; a failure keeps the value.
  proc.pagePath = dir + "/page.kwl";
  Variable var("v");
  ASSERT_TRUE(LoadFileIntoVariable(proc, "data.bin", var));
  EXPECT_EQ(VarText(var), bytes);
  VarSet(var, "kept");
  EXPECT_FALSE(LoadFileIntoVariable(proc, "nothing.bin", var));
  EXPECT_EQ(VarText(var), "kept");

  std::FILE* f = std::fopen(path.c_str(), "rb");
  ASSERT_NE(f, nullptr);
  std::fseek(f, 3, SEEK_SET);
  EXPECT_EQ(FileSize(f), static_cast<long>(bytes.size()));
  EXPECT_EQ(std::ftell(f), 3);
  std::fclose(f);
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace kwl
