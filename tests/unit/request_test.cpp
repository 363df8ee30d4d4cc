#include "web/request.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "core/process.h"
#include "core/scope.h"
#include "core/variable.h"

namespace kwl {
namespace {

using namespace std::string_literals;

constexpr const char* kCgiNames[] = {"REQUEST_METHOD", "QUERY_STRING", "CONTENT_TYPE",
                                     "CONTENT_LENGTH"};
constexpr const char* kBoundary = "----XyZ42";

class RequestTest : public ::testing::Test {
 protected:
  void SetUp() override { ClearEnv(); }
  void TearDown() override { ClearEnv(); }
  static void ClearEnv() {
    for (const char* name : kCgiNames) unsetenv(name);
  }

  int Get(const char* query) {
    setenv("REQUEST_METHOD", "GET", 1);
    if (query) setenv("QUERY_STRING", query, 1);
    return CgiDecodeRequest(proc, globals, &session, nullptr);
  }

  int Post(const char* type, const std::string& body, const char* length = nullptr) {
    setenv("REQUEST_METHOD", "POST", 1);
    if (type) setenv("CONTENT_TYPE", type, 1);
    std::string len = length ? length : std::to_string(body.size());
    setenv("CONTENT_LENGTH", len.c_str(), 1);
    std::FILE* in = std::tmpfile();
    std::fwrite(body.data(), 1, body.size(), in);
    std::rewind(in);
    int code = CgiDecodeRequest(proc, globals, &session, in);
    std::fclose(in);
    return code;
  }

  int PostMultipart(const std::string& body, const char* length = nullptr) {
    std::string type = "multipart/form-data; boundary="s + kBoundary;
    return Post(type.c_str(), body, length);
  }

  std::string Text(std::string_view name) {
    Variable* var = globals.Find(name);
    return var ? VarText(*var) : "<missing>";
  }
  int Int(std::string_view name) {
    Variable* var = globals.Find(name);
    return var ? VarInt(*var) : -1;
  }
  int Count() { return Int("velparamcount"); }

  Process proc;
  Scope globals;
  Scope session;
};

std::string Field(const std::string& name, const std::string& value) {
  return "--"s + kBoundary + "\r\nContent-Disposition: form-data; name=\"" + name + "\"\r\n\r\n" +
         value + "\r\n";
}

std::string FilePart(const std::string& name, const std::string& file, const std::string& bytes) {
  return "--"s + kBoundary + "\r\nContent-Disposition: form-data; name=\"" + name +
         "\"; filename=\"" + file + "\"\r\nContent-Type: application/octet-stream\r\n\r\n" + bytes +
         "\r\n";
}

std::string End() {
  return "--"s + kBoundary + "--\r\n";
}

TEST_F(RequestTest, ResultCodes) {
  EXPECT_EQ(CgiDecodeRequest(proc, globals, &session, nullptr), kRequestNoMethod);
  setenv("REQUEST_METHOD", "PUT", 1);
  EXPECT_EQ(CgiDecodeRequest(proc, globals, &session, nullptr), kRequestBadMethod);
  setenv("REQUEST_METHOD", "get", 1);  // methods compare exactly
  EXPECT_EQ(CgiDecodeRequest(proc, globals, &session, nullptr), kRequestBadMethod);
  EXPECT_EQ(Get(nullptr), kRequestNoData);
  EXPECT_EQ(Get(""), kRequestNoData);
  EXPECT_EQ(Post(nullptr, "a=1"), kRequestBadContentType);
  EXPECT_EQ(Post("text/plain", "a=1"), kRequestBadContentType);
  EXPECT_EQ(Post("application/x-www-form-urlencoded", "a=1", "0"), kRequestNoData);
  EXPECT_EQ(globals.Count(), 0u);
}

TEST_F(RequestTest, ContentLengthThatIsNotAPositiveNumberMeansNoData) {
  for (const char* length : {"-5", "abc", "", "-99999999999"}) {
    EXPECT_EQ(Post("application/x-www-form-urlencoded", "a=1", length), kRequestNoData) << length;
    EXPECT_EQ(PostMultipart(Field("a", "1") + End(), length), kRequestNoData) << length;
  }
  EXPECT_EQ(globals.Count(), 0u);
}

// Only "=" ends a name; names and values are URL-decoded (a CR dropped, an incomplete escape
// kept) and cut; a trailing "&" makes no pair.
TEST_F(RequestTest, QueryPairs) {
  std::string query = "a&b=c&x=%41%42+c%0Dd&n%61me+2=v&" + std::string(300, 'n') +
                      "=1&ab%00cd=2&p=50%&q=x%4&z=%e9%fF%00&";
  ASSERT_EQ(Get(query.c_str()), kRequestDecoded);
  EXPECT_EQ(Text("a&b"), "c");
  EXPECT_EQ(Text("x"), "AB cd");
  EXPECT_EQ(Text("name 2"), "v");
  EXPECT_EQ(Text(std::string(63, 'n')), "1");
  EXPECT_EQ(Text("ab"), "2");
  EXPECT_EQ(Text("p") + Text("q") + Text("z"), "50%x%4\xe9\xff\0"s);
  EXPECT_EQ(Count(), 8);
}

TEST_F(RequestTest, SessionAndProgramNamesCannotBeShadowed) {
  ScopeSet(session, "user", "alice");
  std::string longUser = "u" + std::string(62, 'x');
  ScopeSet(session, longUser, "kept");
  std::string query = "user=mallory&a=1&veldebug=4&velsessionid=X&" + longUser + "zzz=1";
  ASSERT_EQ(Get(query.c_str()), kRequestDecoded);
  EXPECT_EQ(globals.Find("user"), nullptr);
  EXPECT_EQ(globals.Find("veldebug"), nullptr);
  EXPECT_EQ(globals.Find("velsessionid"), nullptr);
  // A longer name stored as its first 63 characters would hide the session variable.
  EXPECT_EQ(globals.Find(longUser), nullptr);
  EXPECT_EQ(Text("a"), "1");
  EXPECT_EQ(Count(), 1);
}

TEST_F(RequestTest, UrlEncodedBodyIsReadUpToItsLength) {
  const char* type = "application/x-www-form-urlencoded; charset=UTF-8";
  ASSERT_EQ(Post(type, "a=1&b=x%26y"), kRequestDecoded);
  EXPECT_EQ(Text("b"), "x&y");
  ASSERT_EQ(Post(type, "c=1&d=2", "3"), kRequestDecoded);
  EXPECT_EQ(Text("c"), "1");
  EXPECT_EQ(globals.Find("d"), nullptr);
  // An absurd length must not be allocated up front.
  ASSERT_EQ(Post(type, "e=1", "99999999999"), kRequestDecoded);
  EXPECT_EQ(Text("e"), "1");
  EXPECT_EQ(Count(), 1);
}

// Only CR LF "--" and the boundary (or "--" and the boundary opening the body) delimit a
// part; the boundary text elsewhere is content, and nothing before the first or after the
// closing one is read.
TEST_F(RequestTest, BoundaryTextInsideContentIsContent) {
  std::string b = kBoundary;
  std::string field = "see " + b + " here\n--" + b + " and\r\n-" + b;
  std::string bytes = "\0--"s + b + "\r\n\r\n" + b + "\0\r\n-"s + b + "--\r\n\0"s + b + "--";
  std::string preamble = "pre --" + b + " name=\"early\"\r\n\r\nx\r\n";
  std::string epilogue =
      "--" + b + "\r\nContent-Disposition: form-data; name=\"late\"\r\n\r\nx\r\n";
  ASSERT_EQ(PostMultipart(preamble + Field("f", field) + FilePart("up", "u.bin", bytes) + End() +
                          epilogue + End()),
            kRequestDecoded);
  EXPECT_EQ(Text("f"), field);
  EXPECT_EQ(Text("up"), bytes);
  EXPECT_EQ(Int("up.filesize"), static_cast<int>(bytes.size()));
  EXPECT_EQ(globals.Find("early"), nullptr);
  EXPECT_EQ(globals.Find("late"), nullptr);
  EXPECT_EQ(Count(), 5);
}

TEST_F(RequestTest, MultipartBoundaryParameter) {
  for (const char* type : {"multipart/form-data", "multipart/form-data; boundary=",
                           "multipart/form-data; boundary=\"\""}) {
    EXPECT_EQ(Post(type, Field("a", "1") + End()), kRequestBadContentType) << type;
  }
  EXPECT_EQ(globals.Count(), 0u);
  std::string quoted = "multipart/form-data; boundary=\""s + kBoundary + "\"";
  ASSERT_EQ(Post(quoted.c_str(), Field("a", "1") + End()), kRequestDecoded);
  EXPECT_EQ(Text("a"), "1");
  std::string trailing = "multipart/form-data; boundary="s + kBoundary + "; charset=UTF-8";
  ASSERT_EQ(Post(trailing.c_str(), Field("b", "2") + End()), kRequestDecoded);
  EXPECT_EQ(Text("b"), "2");
}

}  // namespace
}  // namespace kwl
