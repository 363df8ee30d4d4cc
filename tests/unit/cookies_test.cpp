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
      {"a=1;  \tb=2", "b", "2"},
      // A value holding the name is not that cookie (the pages show a longer name).
      {"x=id=3; id=4", "id", "4"},
      {"Id=1", "id", ""},
      // The first of two cookies of one name wins.
      {"k=first; k=second", "k", "first"},
      {"a", "a", ""},
      {";;a=1;", "a", "1"},
      {"a=1", "", ""},
      // A value starting with "?" is unscrambled (the page tests show how).
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

// No field can start another header line or add an attribute.
TEST(SetCookieLine, FieldsAreFiltered) {
  constexpr char kValue[] = "1\r\nLocation: /evil\0z";
  EXPECT_EQ(SetCookieLine("a\r\nX", std::string(kValue, sizeof kValue - 1), "", "/\n", "d\rom"),
            "Set-Cookie: aX=1Location: /evilz; path=/; domain=dom\n");
  EXPECT_EQ(SetCookieLine("n;secure", "1, b=2; domain=evil", "Fri, 02-Jan-70 00:00:00", "/a;b,c",
                          "x.example;y"),
            "Set-Cookie: n%3Bsecure=1%2C b=2%3B domain=evil; path=/a%3Bb%2Cc; "
            "expires=Fri, 02-Jan-70 00:00:00; domain=x.example%3By\n");
}

}  // namespace
}  // namespace kwl
