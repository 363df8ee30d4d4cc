#include "web/page_choice.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>

namespace kwl {
namespace {

// A site beside the working directory, holding pages and the interpreter's
// own state files, all of which exist so that only the rule can refuse them.
class PageParameterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/kwl-page-XXXXXX";
    root_ = mkdtemp(pattern);
    for (const char* dir : {"/cwd", "/site", "/site/kwlsession", "/site/kwldebug", "/site/dir.kwl"})
      mkdir((root_ + dir).c_str(), 0700);
    for (const char* file : {"/site/ok.kwl", "/site/kwlsession/x.kwl", "/site/kwldebug/x.kwl",
                             "/site/.hidden.kwl", "/site/notes.txt"})
      std::ofstream(root_ + file) << "<HTML>";
    old_ = getcwd(nullptr, 0);
    ASSERT_EQ(chdir((root_ + "/cwd").c_str()), 0);
    BlockPush(proc_.stack, BlockNew(proc_.stack, "CONFIG", kBlockConfig));
    config_ = BlockTopOfKind(proc_.stack, kBlockConfig);
  }
  void TearDown() override {
    (void)chdir(old_);
    std::free(old_);
    std::system(("rm -rf " + root_).c_str());
  }
  bool Allowed(std::string_view value) {
    std::string path;
    return PageParameterPath(proc_, value, &path);
  }

  Process proc_;
  Block* config_ = nullptr;
  std::string root_;
  char* old_ = nullptr;
};

TEST_F(PageParameterTest, RunsOnlyPublicPageFiles) {
  std::string path;
  EXPECT_TRUE(PageParameterPath(proc_, "site/ok.kwl", &path));
  EXPECT_EQ(path, "../site/ok.kwl");
  EXPECT_TRUE(Allowed("/site/ok.kwl"));
  for (const char* refused :
       {"site/kwlsession/x.kwl", "site/kwldebug/x.kwl", "site/.hidden.kwl", "site/../site/ok.kwl",
        "site/notes.txt", "site/dir.kwl", "site/none.kwl", "site/ok.kwl\r\nSet-Cookie: a=b",
        "site/ok.kwl\x7f", ""}) {
    EXPECT_FALSE(Allowed(refused)) << refused;
  }
}

TEST_F(PageParameterTest, ConfigNamesThePageExtensions) {
  auto extensions = VarNew("velpageextensions");
  VarSet(*extensions, ".htm,.txt");
  config_->vars.Add(std::move(extensions));
  EXPECT_TRUE(Allowed("site/notes.txt"));
  EXPECT_FALSE(Allowed("site/ok.kwl"));
}

}  // namespace
}  // namespace kwl
