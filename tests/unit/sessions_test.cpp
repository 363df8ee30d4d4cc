#include "web/sessions.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "web/session_file.h"

namespace kwl {
namespace {

namespace fs = std::filesystem;

std::string Bytes(std::initializer_list<int> values) {
  std::string out;
  for (int v : values) out += static_cast<char>(v);
  return out;
}

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

void WriteFile(const fs::path& path, std::string_view bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

// Dates a file's modification time `seconds` back from now.
void Age(const fs::path& path, long seconds) {
  struct timeval times[2];
  times[0].tv_sec = times[1].tv_sec = std::time(nullptr) - seconds;
  times[0].tv_usec = times[1].tv_usec = 0;
  ASSERT_EQ(utimes(path.c_str(), times), 0);
}

long AgeOf(const fs::path& path) {
  struct stat status;
  if (stat(path.c_str(), &status) != 0) return -1;
  return static_cast<long>(std::time(nullptr) - status.st_mtime);
}

// A session directory of its own.
class SessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() / ("kwl-sessions-" + std::to_string(getpid()));
    fs::remove_all(root_);
    fs::create_directories(root_);
    store_.dir = (root_ / "kwlsession").string();
    unsetenv("HTTP_COOKIE");
  }
  void TearDown() override {
    fs::remove_all(root_);
    unsetenv("HTTP_COOKIE");
  }
  fs::path File(const std::string& name) { return fs::path(store_.dir) / name; }
  SessionLock Load(Scope& scope) { return SessionLoad(proc_, store_, id_, scope); }

  fs::path root_;
  SessionStore store_;
  Process proc_;
  Variable id_{"velsessionid"};
};

TEST(SessionFile, ACutFileLoadsItsWholeRecordsOnly) {
  Process proc;
  Scope full;
  ScopeSet(full, "first", "one");
  ScopeSet(full, "second", "two");
  std::string bytes = SessionEncode(proc, full);
  size_t firstEnd = 4 + 5 + 4 + 3;
  for (size_t cut = 0; cut <= bytes.size(); ++cut) {
    Scope scope;
    size_t expected = cut == bytes.size() ? 2 : cut >= firstEnd ? 1 : 0;
    EXPECT_EQ(SessionDecode(proc, std::string_view(bytes).substr(0, cut), scope), expected)
        << "cut at " << cut;
    EXPECT_EQ(scope.Count(), expected);
  }
}

TEST(SessionFile, AbsurdLengthsStopTheReading) {
  Process proc;
  std::string good = Bytes({1, 0, 0, 0, 'a', 1, 0, 0, 0, 'x'});
  Scope scope;
  // A value length far beyond the file.
  EXPECT_EQ(
      SessionDecode(proc, good + Bytes({1, 0, 0, 0, 'b', 0xff, 0xff, 0xff, 0xff, 'y'}), scope), 1u);
  // A name length beyond what any writer makes, although the bytes are there.
  std::string longName = Bytes({0, 1, 0, 0}) + std::string(256, 'n') + Bytes({0, 0, 0, 0});
  EXPECT_EQ(SessionDecode(proc, good + longName, scope), 1u);
  EXPECT_EQ(SessionDecode(proc, good + Bytes({0xff, 0xff, 0xff, 0xff}), scope), 1u);
  // A name length of 0 ends the file.
  EXPECT_EQ(SessionDecode(proc, Bytes({0, 0, 0, 0}) + good, scope), 0u);
}

TEST(SessionId, OnlySixteenCapitalsAndDigits) {
  EXPECT_TRUE(IsSessionId("ABCDEFGHIJKLMN09"));
  EXPECT_FALSE(IsSessionId("ABCDEFGHIJKLMN0"));
  EXPECT_FALSE(IsSessionId("ABCDEFGHIJKLMN012"));
  EXPECT_FALSE(IsSessionId("abcdefghijklmn09"));
  EXPECT_FALSE(IsSessionId("../../etc/passwd"));
  EXPECT_FALSE(IsSessionId("ABCDEFGHIJKLMN0/"));
  EXPECT_FALSE(IsSessionId(std::string("ABCDEFGHIJKLMN0\0", 16)));
  EXPECT_FALSE(IsSessionId(""));
}

TEST_F(SessionTest, AnExpiredOrMissingFileStartsEmptyWithTheSameId) {
  fs::create_directories(store_.dir);
  Scope saved;
  ScopeSet(saved, "user", "ann");
  WriteFile(File("ABCDEFGHIJKLMNOP"), SessionEncode(proc_, saved));
  Age(File("ABCDEFGHIJKLMNOP"), 13 * 3600);
  for (const char* id : {"ABCDEFGHIJKLMNOP", "QRSTUVWXYZ012345"}) {
    setenv("HTTP_COOKIE", (std::string("velsessionid=") + id).c_str(), 1);
    Scope scope;
    Load(scope);
    EXPECT_EQ(VarText(id_), id);
    EXPECT_EQ(scope.Count(), 0u);
  }
  // Eleven hours is within the default lifetime of 720 minutes.
  Age(File("ABCDEFGHIJKLMNOP"), 11 * 3600);
  setenv("HTTP_COOKIE", "velsessionid=ABCDEFGHIJKLMNOP", 1);
  Scope scope;
  Load(scope);
  EXPECT_EQ(scope.Count(), 1u);
  // A load marks the file used, so that a session only read does not expire.
  EXPECT_LT(AgeOf(File("ABCDEFGHIJKLMNOP")), 5);
}

TEST_F(SessionTest, ASaveThatCannotWriteFailsAndKeepsTheOldFile) {
  fs::create_directories(store_.dir);
  Scope saved;
  ScopeSet(saved, "cart", "3");
  const std::string before = SessionEncode(proc_, saved);
  WriteFile(File("ABCDEFGHIJKLMNOP"), before);
  setenv("HTTP_COOKIE", "velsessionid=ABCDEFGHIJKLMNOP", 1);
  Scope scope;
  SessionLock lock = Load(scope);
  ScopeSet(scope, "cart", "4");
  // No descriptor is left for the new file: every one below the limit is taken.
  struct rlimit wide;
  ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &wide), 0);
  int lowest = open("/dev/null", O_RDONLY);
  ASSERT_GE(lowest, 0);
  close(lowest);
  struct rlimit tight = wide;
  tight.rlim_cur = static_cast<rlim_t>(lowest);
  ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &tight), 0);
  bool written = SessionSave(proc_, store_, id_, scope, lock);
  ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &wide), 0);
  EXPECT_FALSE(written);
  EXPECT_EQ(ReadFile(File("ABCDEFGHIJKLMNOP")), before);
}

TEST_F(SessionTest, TheSweepRunsEveryThreeHoursAndRemovesExpiredFiles) {
  fs::create_directories(store_.dir);
  WriteFile(File("OLDOLDOLDOLDOLD1"), "");
  WriteFile(File("NEWNEWNEWNEWNEW1"), "");
  Age(File("OLDOLDOLDOLDOLD1"), 721 * 60);
  Age(File("NEWNEWNEWNEWNEW1"), 719 * 60);
  SessionSweepIfDue(store_);
  EXPECT_FALSE(fs::exists(File("OLDOLDOLDOLDOLD1")));
  EXPECT_TRUE(fs::exists(File("NEWNEWNEWNEWNEW1")));
  EXPECT_EQ(ReadFile(File("kwltimestamp")),
            "End session " + File("OLDOLDOLDOLDOLD1").string() + "\n");
  WriteFile(File("OLDOLDOLDOLDOLD2"), "");
  Age(File("OLDOLDOLDOLDOLD2"), 24 * 3600);
  Age(File("kwltimestamp"), 2 * 3600);
  SessionSweepIfDue(store_);
  EXPECT_TRUE(fs::exists(File("OLDOLDOLDOLDOLD2")));
  Age(File("kwltimestamp"), 10800);
  SessionSweepIfDue(store_);
  EXPECT_FALSE(fs::exists(File("OLDOLDOLDOLDOLD2")));
  // A stamp dated in the future does not hold the sweep back either.
  WriteFile(File("OLDOLDOLDOLDOLD3"), "");
  Age(File("OLDOLDOLDOLDOLD3"), 24 * 3600);
  Age(File("kwltimestamp"), -3600);
  SessionSweepIfDue(store_);
  EXPECT_FALSE(fs::exists(File("OLDOLDOLDOLDOLD3")));
}

}  // namespace
}  // namespace kwl
