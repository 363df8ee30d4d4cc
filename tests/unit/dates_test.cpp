#include "tags/dates.h"

#include <gtest/gtest.h>

#include "interp_fixture.h"

namespace kwl {
namespace {

// Noon local time on 4 March 2023, far from any daylight-saving change.
std::time_t FixedNow() {
  std::tm tm{};
  tm.tm_year = 123;
  tm.tm_mon = 2;
  tm.tm_mday = 4;
  tm.tm_hour = 12;
  tm.tm_isdst = -1;
  return mktime(&tm);
}

// "code:text" of a conversion at FixedNow().
std::string Convert(std::string_view input, std::string_view format, std::string_view lang = "") {
  testing::TracedRun page;
  std::string text;
  int code = DateConvert(page.proc, input, format, lang, text, FixedNow());
  return std::to_string(code) + ":" + text;
}

TEST(Dates, Conversions) {
  struct Case {
    const char *input, *format, *lang, *expected;
  };
  const Case cases[] = {
      // The layout is chosen by the separator; time fields follow the date.
      {"12/05/2024", "dd-mm-yyyy", "", "0:12-05-2024"},
      {"05.12.2024", "dd/mm/yyyy", "", "0:12/05/2024"},
      {"2024-05-12", "dd/mm/yyyy", "", "0:12/05/2024"},
      {"240512", "dd/mm/yyyy", "", "0:12/05/2024"},
      {"20240512", "dd/mm/yyyy", "", "0:12/05/2024"},
      {"20240512 14:30", "hh:mn:ss", "", "0:14:30:00"},
      {"2024-05-12 14:30:05", "hh:mm:ss", "", "0:14:05:05"},
      {"12/05/2024 7", "hh:mn:ss", "", "0:07:00:00"},
      {"12//05 -- 2024", "dd mm yyyy", "", "0:12 05 2024"},
      // Names in three languages, the language read from its first two letters.
      {"12/05/2024", "dddd dd mmmm yyyy", "FR", "0:Dimanche 12 Mai 2024"},
      {"12/05/2024", "dddd dd mmmm yyyy", "en", "0:Sunday 12 May 2024"},
      {"12/05/2024", "dddd dd mmmm yyyy", "es", "0:Domingo 12 Mayo 2024"},
      {"12/02/2024", "ddd dd mmm", "fr", "0:Lun 12 F\xE9v"},
      {"12/08/2024", "dddd mmmm", "fR", "0:Lundi Ao\xFBt"},
      {"11/07/2024", "ddd mmm", "fr", "0:Jeu Jui"},
      {"13/07/2024", "dddd mmm", "Es", "0:Sabado Jul"},
      {"13/07/2024", "dddd", "FRA", "0:Saturday"},
      // Normalisation, short years, picture case; fields without digits read as 0.
      {"31/02/2024", "dd/mm/yyyy", "", "0:02/03/2024"},
      {"01/01/99", "yyyy yy", "", "0:2099 99"},
      {"12/05/2024", "DD/MM/YYYY", "", "0:12/05/2024"},
      {"dd/mm/yy", "dd/mm/yyyy", "", "0:30/11/1999"},
      // Empty input is now, empty format the compact date; missing fields keep today's.
      {"", "", "", "0:20230304"},
      {"12/05/2024", "", "", "0:20240512"},
      {"", "dd mm yyyy hh", "", "0:04 03 2023 12"},
      {"12/05", "dd/mm/yyyy", "", "0:12/05/2023"},
      {"2020", "dd/mm/yyyy", "", "0:04/03/2023"},
      {"12/05/2024 99999999", "dd/mm/yyyy", "", "0:22/04/13432"},
      // Unreadable input is reported only without a format.
      {" - ", "", "", "1:20230304"},
      {" - ", "yyyy", "", "0:2023"},
      {"1234567", "", "", "1:20230304"},
      {"12a456", "", "", "1:20230304"},
      // Other picture characters are copied; syntax errors give nothing.
      {"12/05/2024 08:09:10", "dd#mm;yy% n", "", "0:12#05;24% n"},
      {"12/05/2024 08:09:10", "(dd) 'mm' \"yy\" |hh\\mn,ss", "", "0:(12) '05' \"24\" |08\\09,10"},
      {"12/05/2024", "d", "", "1:"},
      {"12/05/2024", "yyy", "", "1:"},
      {"12/05/2024", "dd t", "", "1:"},
      {"12/05/2024", "dd Z", "", "1:"},  // letters are refused in either case
      {"12/05/2024", "dd1", "", "1:"},
      {"12/05/2024", "ddddd", "", "1:"},
      {"12/05/2024", "h", "", "1:"},
      {"12/05/2024", "mmmmm", "", "1:"},
      {"12/05/2024", "sss", "", "1:"},
      {"12/05/2024", "dd*", "", "1:"},
      {"12/05/2024", "dd@mm", "", "1:"},
      {"12/05/2024", "dd\xE9", "", "1:"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Convert(c.input, c.format, c.lang), c.expected) << c.input << " " << c.format;
  }
}

TEST(Dates, LongPictures) {
  EXPECT_EQ(Convert("12/05/2024", std::string(256, ' ')), "1:");
  std::string picture;
  for (int i = 0; i < 51; ++i) picture += "dddd ";
  std::string result = Convert("12/05/2024", picture);
  EXPECT_EQ(result.size(), 2 + kMaxDateText);
  EXPECT_EQ(result.substr(0, 16), "0:Sunday Sunday ");
}

}  // namespace
}  // namespace kwl
