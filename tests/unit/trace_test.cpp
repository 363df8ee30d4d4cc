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
    if (proc.trace.file) {
      std::fclose(proc.trace.file);
      proc.trace.file = nullptr;
    }
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
  static bool IsDir(const char* path) {
    struct stat st;
    return stat(path, &st) == 0 && S_ISDIR(st.st_mode);
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

TEST_F(TraceTest, FileNameMirrorsThePagePath) {
  EXPECT_EQ(TraceFileName("/www/site/index.kwl", false), "kwldebug/www/site/index.kwl.debug");
  EXPECT_EQ(TraceFileName("/www/../site/../index.kwl", false), "kwldebug/www/site/index.kwl.debug");
  EXPECT_EQ(TraceFileName("", false), "kwldebug/Debug.file");
  EXPECT_EQ(TraceFileName("index.kwl", false), "kwldebug/index.kwl.debug");
  EXPECT_EQ(TraceFileName("/index.kwl", false), "kwldebug/index.kwl.debug");
  EXPECT_EQ(TraceFileName("site/index.kwl", false), "kwldebug/index.kwl.debug");
  EXPECT_EQ(TraceFileName("c:\\www\\index.kwl", false), "kwldebug/www/index.kwl.debug");
  EXPECT_FALSE(Exists("kwldebug"));
}

TEST_F(TraceTest, FileLevelOpensTheMirroredFileAndPrefixesLines) {
  proc.lines.back() = 7;
  TraceSetPage(proc, "/www/site/index.kwl");
  SetLevel(kTraceFile);
  Trace(proc, "a");
  Trace(proc, "%s\n", "b");
  proc.lines.back() = 1234;
  Trace(proc, "c\nd\n");
  EXPECT_TRUE(IsDir("kwldebug/www"));
  EXPECT_TRUE(IsDir("kwldebug/www/site"));
  TraceClose(proc);
  EXPECT_EQ(proc.trace.file, nullptr);
  EXPECT_EQ(Out(), "");

  std::string text = FileText("kwldebug/www/site/index.kwl.debug");
  // Dates and line numbers vary; every digit is compared as "9".
  std::string masked = text;
  for (char& c : masked) {
    if (c >= '0' && c <= '9') c = '9';
  }
  EXPECT_EQ(masked,
            "  9:--- START DEBUG v9.9rc9 99/99/9999 99:99:99  "
            "/www/site/index.kwl->kwldebug/www/site/index.kwl.debug\n"
            "  9:ab\n"
            "9999:c\nd\n"
            "9999:--- CLOSE DEBUG 99/99/9999 99:99:99 \n")
      << text;
  EXPECT_EQ(text.substr(0, 4), "  7:");
  EXPECT_NE(text.find("\n1234:c\n"), std::string::npos);
}

TEST_F(TraceTest, FileReplacedOnReopenAndSuffixExtendsTheName) {
  TraceSetPage(proc, "/p/x.kwl");
  SetLevel(kTraceFile);
  Trace(proc, "first run\n");
  TraceClose(proc);
  Trace(proc, "second run\n");
  TraceClose(proc);
  std::string text = FileText("kwldebug/p/x.kwl.debug");
  EXPECT_EQ(text.find("first run"), std::string::npos);
  EXPECT_NE(text.find("second run"), std::string::npos);

  TraceSetSuffix(proc, "2");
  Trace(proc, "suffixed\n");
  TraceClose(proc);
  EXPECT_NE(FileText("kwldebug/p/x.kwl.2.debug").find("  1:suffixed\n"), std::string::npos);
}

TEST_F(TraceTest, MessagesWaitUntilThePageIsKnown) {
  SetLevel(kTraceFile);
  Trace(proc, "early\n");
  EXPECT_FALSE(Exists("kwldebug"));
  proc.lines.back() = 3;
  TraceSetPage(proc, "/p/x.kwl");
  std::string text = FileText("kwldebug/p/x.kwl.debug");
  EXPECT_EQ(text.rfind("  3:--- START DEBUG v3.8rc6 ", 0), 0u) << text;
  EXPECT_EQ(text.substr(text.find('\n') + 1), "  3:early\n");
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
  EXPECT_EQ(VarInt(*proc.debug), kTraceFile);
}

TEST_F(TraceTest, ResponseLevels) {
  SetLevel(kTraceHtml);
  Trace(proc, "one\ntwo\n");
  Trace(proc, "x");
  Trace(proc, "y\n");
  EXPECT_EQ(Out(), "one\ntwo\n<BR>xy\n<BR>");

  SetLevel(kTraceText);
  Trace(proc, "|one\ntwo\n%d", 3);
  EXPECT_EQ(Out(), "one\ntwo\n<BR>xy\n<BR>|one\ntwo\n3");
  EXPECT_FALSE(Exists("kwldebug"));
}

TEST_F(TraceTest, LongMessagesAreCut) {
  SetLevel(kTraceText);
  Trace(proc, "%s", std::string(3000, 'm').c_str());
  EXPECT_EQ(Out(), std::string(2047, 'm'));
}

TEST_F(TraceTest, SilentLevelsAndNoVariableWriteNothing) {
  TraceSetPage(proc, "/p/x.kwl");
  Trace(proc, "before the variable\n");
  TraceWrite(proc, "before the variable\n");
  for (int level : {kTraceOff, 3, kTraceAuto, -1, 5}) {
    SetLevel(level);
    Trace(proc, "level %d\n", level);
    TraceWrite(proc, "direct\n");
  }
  TraceClose(proc);
  EXPECT_EQ(Out(), "");
  EXPECT_FALSE(Exists("kwldebug"));
}

}  // namespace
}  // namespace kwl
