#include "web/request.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "core/process.h"
#include "core/scope.h"
#include "core/variable.h"
#include "text/url.h"

namespace kwl {
namespace {

using namespace std::string_literals;

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

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
    FilePtr in(std::tmpfile());
    std::fwrite(body.data(), 1, body.size(), in.get());
    std::rewind(in.get());
    return CgiDecodeRequest(proc, globals, &session, in.get());
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

// Only "=" ends a name; names and values are URL-decoded; a trailing "&" makes no pair.
TEST_F(RequestTest, QueryPairs) {
  ASSERT_EQ(Get("a&b=c&x=%41%42+c%0Dd&n%61me+2=v&"), kRequestDecoded);
  EXPECT_EQ(Text("a&b"), "c");
  EXPECT_EQ(Text("x"), "AB cd");
  EXPECT_EQ(Text("name 2"), "v");
  EXPECT_EQ(Count(), 3);
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

TEST_F(RequestTest, LongNamesAreCutAndZeroBytesEndThem) {
  std::string query = std::string(300, 'n') + "=1&ab%00cd=2";
  ASSERT_EQ(Get(query.c_str()), kRequestDecoded);
  EXPECT_EQ(Text(std::string(63, 'n')), "1");
  EXPECT_EQ(Text("ab"), "2");
}

TEST_F(RequestTest, UrlEncodedBody) {
  ASSERT_EQ(Post("application/x-www-form-urlencoded; charset=UTF-8", "a=1&b=x%26y"),
            kRequestDecoded);
  EXPECT_EQ(Text("a"), "1");
  EXPECT_EQ(Text("b"), "x&y");
  EXPECT_EQ(Count(), 2);
}

TEST_F(RequestTest, UrlEncodedBodyIsReadUpToItsLength) {
  ASSERT_EQ(Post("application/x-www-form-urlencoded", "a=1&b=2", "3"), kRequestDecoded);
  EXPECT_EQ(Text("a"), "1");
  EXPECT_EQ(globals.Find("b"), nullptr);
}

TEST_F(RequestTest, ShortUrlEncodedBodyIsDecodedAsFarAsItArrived) {
  // An absurd length must not be allocated up front.
  ASSERT_EQ(Post("application/x-www-form-urlencoded", "a=1", "99999999999"), kRequestDecoded);
  EXPECT_EQ(Text("a"), "1");
  EXPECT_EQ(Count(), 1);
}

TEST(UrlDecodeTest, EscapesAndIncompleteEscapes) {
  std::string text = "a+b%41%0Dc%0d";
  EXPECT_EQ(UrlDecode(text), 6u);
  EXPECT_EQ(text, "a bAc\r");
  using Case = std::pair<std::string, std::string>;
  for (const auto& [in, out] :
       {Case{"50%", "50%"}, Case{"x%4", "x%4"}, Case{"%", "%"}, Case{"%0", "%0"},
        Case{"%00", "\0"s}, Case{"%0D", ""}, Case{"%e9", "\xe9"}, Case{"%fF", "\xff"}}) {
    std::string t = in;
    UrlDecode(t);
    EXPECT_EQ(t, out) << in;
  }
}

TEST_F(RequestTest, MultipartFieldsAreStoredWhole) {
  std::string big(300, 'z');
  big[150] = '\n';
  ASSERT_EQ(PostMultipart(Field("big", big) + Field("empty", "") + End()), kRequestDecoded);
  EXPECT_EQ(Text("big"), big);
  EXPECT_EQ(Text("empty"), "");
  EXPECT_EQ(Count(), 2);
}

TEST_F(RequestTest, MultipartUploadKeepsZeroBytes) {
  std::string bytes = "\xff\xd8\0\0JFIF\r\n--\0end"s;
  ASSERT_EQ(PostMultipart(Field("t", "1") + FilePart("pic", "C:\\dir\\photo.jpg", bytes) + End()),
            kRequestDecoded);
  EXPECT_EQ(Text("pic"), bytes);
  EXPECT_EQ(Text("pic.filename"), "photo.jpg");
  EXPECT_EQ(Text("pic.filepath"), "C:\\dir\\");
  EXPECT_EQ(Int("pic.filesize"), static_cast<int>(bytes.size()));
  EXPECT_EQ(Count(), 5);
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

TEST_F(RequestTest, MultipartUploadFileNames) {
  ASSERT_EQ(PostMultipart(FilePart("none", "", "") + FilePart("unix", "/home/u/a.txt", "A") +
                          FilePart("plain", "b.txt", "B") + End()),
            kRequestDecoded);
  EXPECT_EQ(Text("none.filename"), "");
  EXPECT_EQ(Text("none.filepath"), "");
  EXPECT_EQ(Int("none.filesize"), 0);
  EXPECT_EQ(Text("none"), "");
  EXPECT_EQ(Text("unix.filename"), "a.txt");
  EXPECT_EQ(Text("unix.filepath"), "/home/u/");
  EXPECT_EQ(Text("plain.filename"), "b.txt");
  EXPECT_EQ(Text("plain.filepath"), "");
}

TEST_F(RequestTest, MultipartLastOccurrenceWinsAndSessionNamesAreSkipped) {
  ScopeSet(session, "user", "alice");
  ASSERT_EQ(PostMultipart(Field("x", "1") + Field("x", "2") + Field("user", "mallory") +
                          Field("veldebug", "4") + End()),
            kRequestDecoded);
  EXPECT_EQ(Text("x"), "2");
  EXPECT_EQ(globals.Find("user"), nullptr);
  EXPECT_EQ(globals.Find("veldebug"), nullptr);
  EXPECT_EQ(Count(), 2);
}

TEST_F(RequestTest, ShortMultipartBodyMakesNoVariables) {
  std::string body = Field("a", "1") + End();
  std::string length = std::to_string(body.size() + 10);
  EXPECT_EQ(PostMultipart(body, length.c_str()), kRequestReadError);
  EXPECT_EQ(PostMultipart(body, "99999999999"), kRequestReadError);
  EXPECT_EQ(globals.Count(), 0u);
}

TEST_F(RequestTest, MissingFinalBoundaryDropsOnlyTheOpenPart) {
  std::string body = Field("a", "1") + FilePart("pic", "x.bin", "partial bytes");
  body.resize(body.size() - 2);  // nothing at all after the content
  ASSERT_EQ(PostMultipart(body), kRequestDecoded);
  EXPECT_EQ(Text("a"), "1");
  EXPECT_EQ(globals.Find("pic"), nullptr);
  EXPECT_EQ(globals.Find("pic.filename"), nullptr);
  EXPECT_EQ(Count(), 1);
}

TEST_F(RequestTest, MultipartWithoutUsableBoundary) {
  EXPECT_EQ(Post("multipart/form-data", Field("a", "1") + End()), kRequestBadContentType);
  EXPECT_EQ(Post("multipart/form-data; boundary=", Field("a", "1") + End()),
            kRequestBadContentType);
  EXPECT_EQ(Post("multipart/form-data; boundary=\"\"", Field("a", "1") + End()),
            kRequestBadContentType);
  EXPECT_EQ(globals.Count(), 0u);
}

TEST_F(RequestTest, QuotedBoundaryAndTrailingParameters) {
  std::string body = Field("a", "1") + End();
  std::string quoted = "multipart/form-data; boundary=\""s + kBoundary + "\"";
  ASSERT_EQ(Post(quoted.c_str(), body), kRequestDecoded);
  EXPECT_EQ(Text("a"), "1");
  std::string trailing = "multipart/form-data; boundary="s + kBoundary + "; charset=UTF-8";
  ASSERT_EQ(Post(trailing.c_str(), Field("b", "2") + End()), kRequestDecoded);
  EXPECT_EQ(Text("b"), "2");
}

TEST_F(RequestTest, MalformedPartsAreSkipped) {
  std::string head = "--"s + kBoundary + "\r\nContent-Disposition: form-data; name=\"";
  std::string unclosed = head + "open\r\n\r\nv1\r\n";
  std::string noBlank = head + "noblank\"\r\nv2\r\n";
  std::string headers = head + "multi\"\r\nContent-Type: text/plain\r\nX-Other: 1\r\n\r\nv3\r\n";
  ASSERT_EQ(PostMultipart(unclosed + noBlank + headers + Field("ok", "v4") + End()),
            kRequestDecoded);
  EXPECT_EQ(globals.Find("open"), nullptr);
  EXPECT_EQ(globals.Find("noblank"), nullptr);
  EXPECT_EQ(Text("multi"), "v3");
  EXPECT_EQ(Text("ok"), "v4");
  EXPECT_EQ(Count(), 2);
}

TEST_F(RequestTest, MultipartLongNamesAreCut) {
  std::string name(300, 'm');
  ASSERT_EQ(PostMultipart(Field(name, "1") + Field(name, "2") + End()), kRequestDecoded);
  EXPECT_EQ(Text(std::string(63, 'm')), "2");
  EXPECT_EQ(globals.Count(), 2u);  // one variable, set twice, and velparamcount
}

// Captures the trace at the text level.
class RequestTraceTest : public RequestTest {
 protected:
  void SetUp() override {
    RequestTest::SetUp();
    proc.debugOwned = VarNew("veldebug");
    proc.debug = proc.debugOwned.get();
    VarSetInt(*proc.debug, 4);
    capture_.reset(std::tmpfile());
    proc.out = capture_.get();
  }
  std::string Trace() {
    std::string text(std::ftell(capture_.get()), '\0');
    std::rewind(capture_.get());
    text.resize(std::fread(text.data(), 1, text.size(), capture_.get()));
    return text;
  }
  FilePtr capture_;
};

TEST_F(RequestTraceTest, QueryTrace) {
  ScopeSet(session, "s", "1");
  Get("a=x+y&s=2");
  EXPECT_EQ(Trace(), "REQUEST_METHOD=GET\nParam a(3) = x y\nParam s(1) = SESSION PRIORITY\n");
}

TEST_F(RequestTraceTest, MultipartTrace) {
  std::string body = Field("f", std::string(1200, 'q')) + FilePart("pic", "C:\\d\\p.jpg", "abc") +
                     FilePart("cut", "c.txt", "no end");
  body.resize(body.size() - 2);
  PostMultipart(body, nullptr);
  std::string length = std::to_string(body.size());
  EXPECT_EQ(Trace(), "REQUEST_METHOD=POST\nCONTENT_TYPE=multipart/form-data; boundary="s +
                         kBoundary + "\nCONTENT_LENGTH=" + length +
                         "\nParam f (1200) = " + std::string(1000, 'q') +
                         "...\nFilename = C:\\d\\p.jpg\nFilepath = C:\\d\\\nParam pic lg = 3\n"
                         "Filename = c.txt\nBoundary not found\n");
}

TEST_F(RequestTraceTest, PostWithoutTypeOrLength) {
  setenv("REQUEST_METHOD", "POST", 1);
  EXPECT_EQ(CgiDecodeRequest(proc, globals, &session, nullptr), kRequestBadContentType);
  EXPECT_EQ(
      Trace(),
      "REQUEST_METHOD=POST\nCONTENT_TYPE is not defined!!\nCONTENT_LENGTH is not defined!!\n");
}

TEST_F(RequestTraceTest, ShortBodyTrace) {
  std::string body = Field("a", "1");
  PostMultipart(body, "500");
  std::string line = "\nRead error: " + std::to_string(body.size()) + " < 500.\n";
  EXPECT_NE(Trace().find(line), std::string::npos) << Trace();
}

TEST_F(RequestTest, QueryStringForCommandLine) {
  EXPECT_EQ(ParseQueryString(proc, "p=1&q=2", globals, nullptr), 2);
  EXPECT_EQ(Text("q"), "2");
  EXPECT_EQ(globals.Find("velparamcount"), nullptr);
}

}  // namespace
}  // namespace kwl
