#include "web/sessions.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/time.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

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

std::vector<std::string> Names(const Scope& scope) {
  std::vector<std::string> names;
  for (const VariablePtr& var : scope) names.push_back(var->name + "=" + VarText(*var));
  return names;
}

// A session directory of its own, and the response captured.
class SessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() / ("kwl-sessions-" + std::to_string(getpid()));
    fs::remove_all(root_);
    fs::create_directories(root_);
    store_.dir = (root_ / "kwlsession").string();
    proc_.out = open_memstream(&buffer_, &size_);
    unsetenv("HTTP_COOKIE");
  }
  void TearDown() override {
    std::fclose(proc_.out);
    std::free(buffer_);
    fs::remove_all(root_);
    unsetenv("HTTP_COOKIE");
  }
  std::string Response() {
    std::fflush(proc_.out);
    return std::string(buffer_, size_);
  }
  fs::path File(const std::string& name) { return fs::path(store_.dir) / name; }
  SessionLock Load(Scope& scope) { return SessionLoad(proc_, store_, id_, scope); }

  fs::path root_;
  SessionStore store_;
  SessionLock lock_;
  Process proc_;
  Variable id_{"velsessionid"};
  char* buffer_ = nullptr;
  size_t size_ = 0;
};

TEST(SessionFile, ValuesComeBackAsTextAndEmptyOnesAsNull) {
  Process proc;
  Scope out;
  Scope in;
  ScopeSetInt(out, "n", 5);
  ScopeSet(out, "bin", std::string("a\0b", 3));
  ScopeSet(out, "e", "");
  ASSERT_EQ(SessionDecode(proc, SessionEncode(proc, out), in), 3u);
  EXPECT_EQ(in.Find("n")->kind, kKindText);
  EXPECT_EQ(VarText(*in.Find("n")), "5");
  EXPECT_EQ(VarText(*in.Find("bin")), std::string("a\0b", 3));
  EXPECT_TRUE(in.Find("e")->null);
}

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

TEST_F(SessionTest, AFirstVisitGetsANewIdAndItsCookie) {
  Scope scope;
  Load(scope);
  std::string id = VarText(id_);
  EXPECT_TRUE(IsSessionId(id)) << id;
  EXPECT_EQ(Response(), "Set-Cookie: velsessionid=" + id + "; path=/\n");
  EXPECT_EQ(scope.Count(), 0u);
  EXPECT_FALSE(fs::exists(store_.dir));
  // Ids are not repeated from one visitor to the next.
  Variable other("velsessionid");
  SessionNewId(proc_, other);
  EXPECT_NE(VarText(other), id);
}

TEST_F(SessionTest, ACookieThatIsNoIdCountsAsAFirstVisit) {
  for (const char* cookie : {"velsessionid=../../etc/passwd", "velsessionid=abcdefghijklmnop",
                             "velsessionid=ABCDEFGHIJKLMNOPQ", "xvelsessionid=ABCDEFGHIJKLMNOP"}) {
    setenv("HTTP_COOKIE", cookie, 1);
    Scope scope;
    Load(scope);
    EXPECT_TRUE(IsSessionId(VarText(id_))) << cookie;
    EXPECT_NE(VarText(id_), "ABCDEFGHIJKLMNOP") << cookie;
  }
  std::string response = Response();
  EXPECT_EQ(std::count(response.begin(), response.end(), '\n'), 4);
}

TEST_F(SessionTest, AKnownIdLoadsItsFileAndMarksItUsed) {
  fs::create_directories(store_.dir);
  Scope saved;
  ScopeSet(saved, "user", "ann");
  ScopeSetInt(saved, "visits", 3);
  WriteFile(File("ABCDEFGHIJKLMNOP"), SessionEncode(proc_, saved));
  Age(File("ABCDEFGHIJKLMNOP"), 3600);
  setenv("HTTP_COOKIE", "a=1; velsessionid=ABCDEFGHIJKLMNOP", 1);
  Scope scope;
  Load(scope);
  EXPECT_EQ(VarText(id_), "ABCDEFGHIJKLMNOP");
  EXPECT_EQ(Names(scope), (std::vector<std::string>{"user=ann", "visits=3"}));
  EXPECT_EQ(Response(), "");
  EXPECT_LT(AgeOf(File("ABCDEFGHIJKLMNOP")), 5);
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
  EXPECT_EQ(Response(), "");
  // Eleven hours is within the default lifetime of 720 minutes.
  Age(File("ABCDEFGHIJKLMNOP"), 11 * 3600);
  setenv("HTTP_COOKIE", "velsessionid=ABCDEFGHIJKLMNOP", 1);
  Scope scope;
  Load(scope);
  EXPECT_EQ(scope.Count(), 1u);
}

TEST_F(SessionTest, SaveWritesTheFileWholeAndNothingBeside) {
  VarSet(id_, "ABCDEFGHIJKLMNOP");
  Scope scope;
  ScopeSetInt(scope, "n", 5);
  ScopeSet(scope, "e", "");
  EXPECT_TRUE(SessionSave(proc_, store_, id_, scope, lock_));
  EXPECT_EQ(ReadFile(File("ABCDEFGHIJKLMNOP")),
            Bytes({1, 0, 0, 0, 'n', 1, 0, 0, 0, '5', 1, 0, 0, 0, 'e', 0, 0, 0, 0}));
  // A smaller session replaces a larger one completely.
  Scope smaller;
  EXPECT_TRUE(SessionSave(proc_, store_, id_, smaller, lock_));
  EXPECT_EQ(ReadFile(File("ABCDEFGHIJKLMNOP")), "");
  std::vector<std::string> left;
  for (const auto& entry : fs::directory_iterator(store_.dir))
    left.push_back(entry.path().filename());
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{"ABCDEFGHIJKLMNOP", "kwltimestamp"}));
}

TEST_F(SessionTest, ReadersNeverSeeAHalfWrittenFile) {
  VarSet(id_, "ABCDEFGHIJKLMNOP");
  Scope small;
  Scope large;
  ScopeSet(small, "a", "1");
  for (int i = 0; i < 200; ++i) ScopeSet(large, "v" + std::to_string(i), std::string(500, 'x'));
  ASSERT_TRUE(SessionSave(proc_, store_, id_, small, lock_));
  setenv("HTTP_COOKIE", "velsessionid=ABCDEFGHIJKLMNOP", 1);
  std::atomic<bool> done{false};
  std::vector<std::thread> writers;
  for (int w = 0; w < 2; ++w) {
    writers.emplace_back([&, w] {
      Process proc;
      Variable id("velsessionid");
      VarSet(id, "ABCDEFGHIJKLMNOP");
      SessionLock lock;
      for (int i = 0; i < 150; ++i)
        SessionSave(proc, store_, id, (i + w) % 2 ? large : small, lock);
    });
  }
  std::thread watcher([&] {
    for (auto& writer : writers) writer.join();
    done = true;
  });
  int loads = 0;
  int torn = 0;
  while (!done) {
    Process proc;
    Variable id("velsessionid");
    Scope scope;
    SessionLoad(proc, store_, id, scope);
    if (scope.Count() != 1 && scope.Count() != 200) ++torn;
    ++loads;
  }
  watcher.join();
  EXPECT_EQ(torn, 0) << "of " << loads << " loads";
  EXPECT_GT(loads, 0);
}

// Each run loads, adds one and saves: with the lock held from load to save
// no increment is lost however the runs interleave.
TEST_F(SessionTest, ConcurrentRunsOfOneVisitorLoseNoUpdate) {
  setenv("HTTP_COOKIE", "velsessionid=ABCDEFGHIJKLMNOP", 1);
  std::vector<std::thread> runs;
  for (int r = 0; r < 4; ++r) {
    runs.emplace_back([&] {
      for (int i = 0; i < 25; ++i) {
        Process proc;
        Variable id("velsessionid");
        Scope scope;
        SessionLock lock = SessionLoad(proc, store_, id, scope);
        int32_t n = 0;
        ScopeGetInt(scope, "n", &n);
        std::this_thread::yield();
        ScopeSetInt(scope, "n", n + 1);
        SessionSave(proc, store_, id, scope, lock);
      }
    });
  }
  for (auto& run : runs) run.join();
  Scope scope;
  Load(scope);
  int32_t n = 0;
  EXPECT_TRUE(ScopeGetInt(scope, "n", &n));
  EXPECT_EQ(n, 100);
}

TEST_F(SessionTest, TheSweepRemovesExpiredFilesAndListsThem) {
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
}

TEST_F(SessionTest, TheSweepRunsEveryThreeHours) {
  fs::create_directories(store_.dir);
  WriteFile(File("kwltimestamp"), "earlier\n");
  WriteFile(File("OLDOLDOLDOLDOLD1"), "");
  Age(File("OLDOLDOLDOLDOLD1"), 24 * 3600);
  Age(File("kwltimestamp"), 2 * 3600);
  SessionSweepIfDue(store_);
  EXPECT_TRUE(fs::exists(File("OLDOLDOLDOLDOLD1")));
  Age(File("kwltimestamp"), 10800);
  SessionSweepIfDue(store_);
  EXPECT_FALSE(fs::exists(File("OLDOLDOLDOLDOLD1")));
  // A stamp dated in the future does not hold the sweep back either.
  WriteFile(File("OLDOLDOLDOLDOLD2"), "");
  Age(File("OLDOLDOLDOLDOLD2"), 24 * 3600);
  Age(File("kwltimestamp"), -3600);
  SessionSweepIfDue(store_);
  EXPECT_FALSE(fs::exists(File("OLDOLDOLDOLDOLD2")));
}

}  // namespace
}  // namespace kwl
