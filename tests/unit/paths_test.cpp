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

constexpr const char* kPathNames[] = {"DOCUMENT_ROOT", "PWD", "PATH_TRANSLATED"};

// PWD is normally set for the test process; put every variable back afterwards.
class PathsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : kPathNames) {
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

TEST_F(PathsTest, BaseDirPrefersDocumentRootThenPwd) {
  EXPECT_EQ(BaseDir(proc), "");
  setenv("PWD", "/home/web/", 1);
  EXPECT_EQ(BaseDir(proc), "/home/web");
  setenv("PWD", "/home/web", 1);
  EXPECT_EQ(BaseDir(proc), "/home/web");
  setenv("DOCUMENT_ROOT", "/www", 1);
  EXPECT_EQ(BaseDir(proc), "/www");
}

TEST_F(PathsTest, CurrentDirComesFromThePagePath) {
  EXPECT_EQ(CurrentDir(proc), "");
  setenv("PATH_TRANSLATED", "/srv/cgi/page.kwl", 1);
  EXPECT_EQ(CurrentDir(proc), "/srv/cgi");
  proc.pagePath = "/www/site/index.kwl";
  EXPECT_EQ(CurrentDir(proc), "/www/site");
  proc.pagePath = "/index.kwl";
  EXPECT_EQ(CurrentDir(proc), "/");
  proc.pagePath = "index.kwl";  // no directory part: the base directory
  setenv("PWD", "/home/web/", 1);
  EXPECT_EQ(CurrentDir(proc), "/home/web");
}

TEST_F(PathsTest, ResolvePath) {
  EXPECT_EQ(ResolvePath(proc, "img/a.gif"), "img/a.gif");
  EXPECT_EQ(ResolvePath(proc, "/img/a.gif"), "/img/a.gif");
  proc.pagePath = "/www/site/index.kwl";
  setenv("DOCUMENT_ROOT", "/www", 1);
  EXPECT_EQ(ResolvePath(proc, "img/a.gif"), "/www/site/img/a.gif");
  EXPECT_EQ(ResolvePath(proc, "/img/a.gif"), "/www/img/a.gif");
  EXPECT_EQ(ResolvePath(proc, "../x//y"), "/www/site/../x//y");
  proc.pagePath = "/index.kwl";
  EXPECT_EQ(ResolvePath(proc, "a.txt"), "/a.txt");
}

TEST_F(PathsTest, LoadWholeFileKeepsEveryByte) {
  std::string bytes = "head\0\r\n\xff tail"s;
  std::string path = WriteFile("data.bin", bytes);
  std::string loaded = "stale";
  ASSERT_TRUE(LoadWholeFile(proc, path, &loaded));
  EXPECT_EQ(loaded, bytes);
  ASSERT_TRUE(LoadWholeFile(proc, WriteFile("empty", ""), &loaded));
  EXPECT_EQ(loaded, "");
}

TEST_F(PathsTest, LoadWholeFileFailures) {
  std::string path = WriteFile("a", "x");
  std::string loaded = "stale";
  EXPECT_FALSE(LoadWholeFile(proc, dir_ + "/missing", &loaded));
  EXPECT_EQ(loaded, "");
  EXPECT_FALSE(LoadWholeFile(proc, dir_, &loaded));  // a directory
  // The name must not be shortened at a zero byte into another file's name.
  EXPECT_FALSE(LoadWholeFile(proc, path + "\0.secret"s, &loaded));
}

TEST_F(PathsTest, LoadFileIntoVariableResolvesAgainstThePage) {
  std::string bytes = "a\0b"s;
  proc.pagePath = WriteFile("page.kwl", "");
  WriteFile("inc.bin", bytes);
  Variable var("v");
  ASSERT_TRUE(LoadFileIntoVariable(proc, "inc.bin", var));
  EXPECT_EQ(VarText(var), bytes);
  EXPECT_FALSE(var.null);
  EXPECT_EQ(var.kind, kKindText);
  VarSet(var, "kept");
  EXPECT_FALSE(LoadFileIntoVariable(proc, "nothing.bin", var));
  EXPECT_EQ(VarText(var), "kept");
}

TEST_F(PathsTest, FileSizeKeepsThePosition) {
  std::FILE* f = std::fopen(WriteFile("s", "0123456789").c_str(), "rb");
  ASSERT_NE(f, nullptr);
  std::fseek(f, 3, SEEK_SET);
  EXPECT_EQ(FileSize(f), 10);
  EXPECT_EQ(std::ftell(f), 3);
  std::fclose(f);
}

}  // namespace
}  // namespace kwl
