#include "page/page_cache.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "core/process.h"

namespace kwl {
namespace {

std::string TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "kwlcacheXXXXXX").string();
  return mkdtemp(pattern.data());
}

std::string TextOf(const SharedText& text) {
  return text ? std::string(text->text()) : "<null>";
}

// Files are known by path and identity: unchanged, the compiled text is
// reused; rewritten in place (even to the same size) or replaced, it is read again.
TEST(PageCache, FilesAreReadAgainOnlyWhenChanged) {
  const std::string dir = TempDir();
  const std::string path = dir + "/page.kwl";
  std::ofstream(path) << "<HTML>one";
  Process proc;
  PageCache pages;
  SharedText first = pages.CompileFile(proc, path);
  EXPECT_EQ(TextOf(first), "<HTML>one");
  EXPECT_EQ(pages.CompileFile(proc, path), first);

  std::ofstream(path) << "<HTML>two";
  first.reset();  // no run holds it any more
  SharedText second = pages.CompileFile(proc, path);
  EXPECT_EQ(TextOf(second), "<HTML>two");
  EXPECT_EQ(pages.size(), 1u);  // the old text went with its file

  std::ofstream(dir + "/new.kwl") << "<HTML>three";
  std::filesystem::rename(dir + "/new.kwl", path);
  EXPECT_EQ(TextOf(pages.CompileFile(proc, path)), "<HTML>three");
  // A running page keeps the text it runs.
  EXPECT_EQ(TextOf(second), "<HTML>two");

  EXPECT_EQ(pages.CompileFile(proc, dir), nullptr);
  EXPECT_EQ(pages.CompileFile(proc, dir + "/missing.kwl"), nullptr);
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace kwl
