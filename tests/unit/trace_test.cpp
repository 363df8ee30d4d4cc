#include "core/trace.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace kwl {
namespace {

// Each test runs in a fresh temporary working directory, with proc.out in memory.
class TraceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(getcwd(oldDir_, sizeof oldDir_), nullptr);
    char dir[] = "/tmp/kwl_trace_XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    tempDir_ = dir;
    ASSERT_EQ(chdir(dir), 0);
    proc.out = open_memstream(&outBuffer_, &outSize_);
  }
  void TearDown() override {
    if (proc.trace.file) std::fclose(proc.trace.file);
    std::fclose(proc.out);
    std::free(outBuffer_);
    EXPECT_EQ(chdir(oldDir_), 0);
    std::filesystem::remove_all(tempDir_);
  }

  void SetLevel(int level) {
    if (!proc.debug) {
      proc.debugOwned = VarNew("veldebug");
      proc.debug = proc.debugOwned.get();
    }
    VarSetInt(*proc.debug, level);
  }
  std::string Out() {
    std::fflush(proc.out);
    return std::string(outBuffer_, outSize_);
  }
  static std::string FileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
  static bool Exists(const char* path) {
    struct stat st;
    return stat(path, &st) == 0;
  }

  Process proc;

 private:
  char oldDir_[4096];
  std::string tempDir_;
  char* outBuffer_ = nullptr;
  size_t outSize_ = 0;
};

TEST_F(TraceTest, FileNameMirrorsThePagePathInsideTheTraceDirectory) {
  EXPECT_EQ(TraceFileName("/www/site/index.kwl", false), "kwldebug/www/site/index.kwl.debug");
  EXPECT_EQ(TraceFileName("/www/../site/../index.kwl", false), "kwldebug/www/site/index.kwl.debug");
  EXPECT_EQ(TraceFileName("", false), "kwldebug/Debug.file");
  EXPECT_EQ(TraceFileName("/index.kwl", false), "kwldebug/index.kwl.debug");
  EXPECT_EQ(TraceFileName("site/index.kwl", false), "kwldebug/index.kwl.debug");
  EXPECT_EQ(TraceFileName("c:\\www\\index.kwl", false), "kwldebug/www/index.kwl.debug");
  EXPECT_FALSE(Exists("kwldebug"));
}

TEST_F(TraceTest, FileIsReplacedOnReopenAndLinesArePrefixed) {
  TraceSetPage(proc, "/p/x.kwl");
  SetLevel(kTraceFile);
  Trace(proc, "first run\n");
  TraceClose(proc);
  EXPECT_EQ(proc.trace.file, nullptr);
  Trace(proc, "a");
  Trace(proc, "%s\n", "b");
  proc.lines.back() = 1234;
  Trace(proc, "c\nd\n");
  TraceClose(proc);
  std::string text = FileText("kwldebug/p/x.kwl.debug");
  EXPECT_EQ(text.find("first run"), std::string::npos);
  EXPECT_NE(text.find("\n  1:ab\n1234:c\nd\n1234:--- CLOSE DEBUG "), std::string::npos) << text;
  EXPECT_EQ(Out(), "");
}

TEST_F(TraceTest, UnopenableFileIsReportedOnEveryMessage) {
  std::ofstream("kwldebug") << "a plain file in the way";
  TraceSetPage(proc, "/p/x.kwl");
  SetLevel(kTraceFile);
  Trace(proc, "one\n");
  Trace(proc, "two\n");
  EXPECT_EQ(Out(),
            "KWL ERROR - Can't open debug 'kwldebug/p/x.kwl.debug'\n"
            "KWL ERROR - Can't open debug 'kwldebug/p/x.kwl.debug'\n");
}

TEST_F(TraceTest, ResponseLevelsLongMessagesAndSilentLevels) {
  TraceSetPage(proc, "/p/x.kwl");
  for (int level : {kTraceOff, 3, kTraceAuto, -1, 5}) {
    SetLevel(level);
    Trace(proc, "level %d\n", level);
    TraceWrite(proc, "direct\n");
  }
  SetLevel(kTraceHtml);
  Trace(proc, "one\ntwo\n");
  Trace(proc, "x");
  Trace(proc, "y\n");
  SetLevel(kTraceText);
  Trace(proc, "|%d", 3);
  Trace(proc, "%s", std::string(3000, 'm').c_str());
  EXPECT_EQ(Out(), "one\ntwo\n<BR>xy\n<BR>|3" + std::string(2047, 'm'));
  TraceClose(proc);
  EXPECT_FALSE(Exists("kwldebug"));
}

}  // namespace
}  // namespace kwl
