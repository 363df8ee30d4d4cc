#include "core/paths.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <string>

#include "core/process.h"
#include "core/variable.h"

namespace kwl {
namespace {

using namespace std::string_literals;
namespace fs = std::filesystem;

// PWD is normally set for the test process; put every variable back afterwards.
class PathsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : {"DOCUMENT_ROOT", "PWD", "PATH_TRANSLATED"}) {
      const char* value = std::getenv(name);
      saved_[name] = value ? std::optional<std::string>(value) : std::nullopt;
      unsetenv(name);
    }
  }
  void TearDown() override {
    for (const auto& [name, value] : saved_) {
      if (value) {
        setenv(name.c_str(), value->c_str(), 1);
      } else {
        unsetenv(name.c_str());
      }
    }
    if (!dir_.empty()) fs::remove_all(dir_);
  }

  // A fresh directory holding `name` with `bytes`; returns the file's path.
  std::string WriteFile(const std::string& name, const std::string& bytes) {
    if (dir_.empty()) {
      std::string pattern = (fs::temp_directory_path() / "kwlpathsXXXXXX").string();
      dir_ = mkdtemp(pattern.data());
    }
    std::string path = dir_ + "/" + name;
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
  }

  Process proc;
  std::string dir_;
  std::map<std::string, std::optional<std::string>> saved_;
};

TEST_F(PathsTest, BaseCurrentAndResolvedPaths) {
  EXPECT_EQ(BaseDir(proc), "");
  EXPECT_EQ(CurrentDir(proc), "");
  EXPECT_EQ(ResolvePath(proc, "img/a.gif"), "img/a.gif");
  setenv("PWD", "/home/web/", 1);
  EXPECT_EQ(BaseDir(proc), "/home/web");
  setenv("PATH_TRANSLATED", "/srv/cgi/page.kwl", 1);
  EXPECT_EQ(CurrentDir(proc), "/srv/cgi");
  proc.pagePath = "index.kwl";  // no directory part: the base directory
  EXPECT_EQ(CurrentDir(proc), "/home/web");
  proc.pagePath = "/index.kwl";
  EXPECT_EQ(CurrentDir(proc), "/");
  EXPECT_EQ(ResolvePath(proc, "a.txt"), "/a.txt");
  setenv("DOCUMENT_ROOT", "/www", 1);
  EXPECT_EQ(BaseDir(proc), "/www");
  proc.pagePath = "/www/site/index.kwl";
  EXPECT_EQ(ResolvePath(proc, "img/a.gif"), "/www/site/img/a.gif");
  EXPECT_EQ(ResolvePath(proc, "/img/a.gif"), "/www/img/a.gif");
}

TEST_F(PathsTest, LoadingFiles) {
  std::string bytes = "head\0\r\n\xff tail"s;
  std::string path = WriteFile("data.bin", bytes);
  std::string loaded = "stale";
  ASSERT_TRUE(LoadWholeFile(proc, path, &loaded));
  EXPECT_EQ(loaded, bytes);
  EXPECT_FALSE(LoadWholeFile(proc, dir_ + "/missing", &loaded));
  EXPECT_EQ(loaded, "");
  EXPECT_FALSE(LoadWholeFile(proc, dir_, &loaded));  // a directory
  // The name must not be shortened at a zero byte into another file's name.
  EXPECT_FALSE(LoadWholeFile(proc, path + "\0.secret"s, &loaded));

  proc.pagePath = WriteFile("page.kwl", "");
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
}

}  // namespace
}  // namespace kwl
