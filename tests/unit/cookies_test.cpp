#include "web/cookies.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include "core/process.h"

namespace kwl {
namespace {

TEST(ReadCookie, FindsACookieByItsWholeName) {
  struct Case {
    const char *header, *name, *value;
  };
  const Case cases[] = {
      {"a=1; b=2", "b", "2"},
      {"a=1;b=2", "b", "2"},
      {"a=1;  \tb=2", "b", "2"},
      // Another cookie's name or value holding the name is not that cookie.
      {"userid=5; id=7", "id", "7"},
      {"ab=5", "b", ""},
      {"x=id=3; id=4", "id", "4"},
      {"Id=1", "id", ""},
      // The first of two cookies of one name wins; a value may hold "=".
      {"k=first; k=second", "k", "first"},
      {"k=a=b", "k", "a=b"},
      {"", "a", ""},
      {"a", "a", ""},
      {"a=", "a", ""},
      {";;a=1;", "a", "1"},
      {"a=1", "", ""},
      // A value starting with "?" is unscrambled.
      {"s=?jih9", "s", "abc2"},
      {"s=?", "s", ""},
      {"s=x?jih", "s", "x?jih"},
  };
  for (const Case& c : cases) EXPECT_EQ(ReadCookie(c.header, c.name), c.value) << c.header;
}

// The cookies are the request's, not the process's.
TEST(ReadCookie, ReadsTheRequestsEnvironment) {
  setenv("HTTP_COOKIE", "t=process", 1);
  Process proc;
  Request request;
  request.SetEnv("HTTP_COOKIE", "s=1; t=2");
  proc.request = &request;
  EXPECT_EQ(ReadCookie(proc, "t"), "2");
  Request none;
  none.SetEnv("OTHER", "1");
  proc.request = &none;
  EXPECT_EQ(ReadCookie(proc, "t"), "");
  unsetenv("HTTP_COOKIE");
}

TEST(Unscramble, FlipsOnlyWhatStaysALetterOrDigit) {
  std::string text = "abcXYZ019 -_?";
  Unscramble(text, kCookieKey);
  // With key 0x0B: '0'^0x0B = ';' and '9'^0x0B = '2', so 0 and 1 stay and 9 becomes 2.
  EXPECT_EQ(text, "jihSRQ012 -_?");
  Unscramble(text, kCookieKey);
  EXPECT_EQ(text, "abcXYZ019 -_?");
}

TEST(CookieExpiry, IsDaysAheadInLocalTime) {
  setenv("TZ", "UTC", 1);
  tzset();
  EXPECT_EQ(CookieExpiry(1, 0), "Fri, 02-Jan-70 00:00:00");
  EXPECT_EQ(CookieExpiry(-1, 86400 * 2), "Fri, 02-Jan-70 00:00:00");
  EXPECT_EQ(CookieExpiry(1, 1796551200), "Mon, 07-Dec-26 10:00:00");
  setenv("TZ", "CET-1", 1);
  tzset();
  EXPECT_EQ(CookieExpiry(1, 0), "Fri, 02-Jan-70 01:00:00");
  setenv("TZ", "UTC", 1);
  tzset();
}

TEST(SetCookieLine, NoFieldCanStartAnotherHeaderLine) {
  constexpr char kValue[] = "1\r\nLocation: /evil\0z";
  std::string line =
      SetCookieLine("a\r\nX", std::string(kValue, sizeof kValue - 1), "", "/\n", "d\rom");
  EXPECT_EQ(line, "Set-Cookie: aX=1Location: /evilz; path=/; domain=dom\n");
}

TEST(SetCookieLine, NoFieldCanStartAnAttribute) {
  EXPECT_EQ(SetCookieLine("n;secure", "1, b=2; domain=evil", "Fri, 02-Jan-70 00:00:00", "/a;b,c",
                          "x.example;y"),
            "Set-Cookie: n%3Bsecure=1%2C b=2%3B domain=evil; path=/a%3Bb%2Cc; "
            "expires=Fri, 02-Jan-70 00:00:00; domain=x.example%3By\n");
}

}  // namespace
}  // namespace kwl
