#include "tags/dates.h"

#include <gtest/gtest.h>

#include "codec_fixture.h"

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

struct Converted {
  int code;
  std::string text;
};

Converted Convert(std::string_view input, std::string_view format, std::string_view lang = "") {
  CodecPage page;
  Converted result;
  result.code = DateConvert(page.proc, input, format, lang, result.text, FixedNow());
  return result;
}

void ExpectConverted(std::string_view input, std::string_view format, std::string_view expected,
                     std::string_view lang = "") {
  Converted result = Convert(input, format, lang);
  EXPECT_EQ(result.code, 0) << input << " " << format;
  EXPECT_EQ(result.text, expected) << input << " " << format;
}

TEST(Dates, LayoutsAreChosenBySeparator) {
  ExpectConverted("12/05/2024", "dd-mm-yyyy", "12-05-2024");
  ExpectConverted("05.12.2024", "dd/mm/yyyy", "12/05/2024");
  ExpectConverted("2024-05-12", "dd/mm/yyyy", "12/05/2024");
  ExpectConverted("240512", "dd/mm/yyyy", "12/05/2024");
  ExpectConverted("20240512", "dd/mm/yyyy", "12/05/2024");
  ExpectConverted("20240512 14:30", "hh:mn:ss", "14:30:00");
}

TEST(Dates, TimeFieldsFollowTheDate) {
  ExpectConverted("2024-05-12 14:30:05", "hh:mn:ss", "14:30:05");
  ExpectConverted("2024-05-12 14:30:05", "hh:mm:ss", "14:05:05");
  ExpectConverted("12/05/2024 7", "hh:mn:ss", "07:00:00");
  ExpectConverted("12/05/2024", "hh:mn:ss", "00:00:00");
  ExpectConverted("12//05 -- 2024", "dd mm yyyy", "12 05 2024");
}

TEST(Dates, NamesInThreeLanguages) {
  ExpectConverted("12/05/2024", "dddd dd mmmm yyyy", "Dimanche 12 Mai 2024", "FR");
  ExpectConverted("12/05/2024", "dddd dd mmmm yyyy", "Sunday 12 May 2024", "en");
  ExpectConverted("12/05/2024", "dddd dd mmmm yyyy", "Domingo 12 Mayo 2024", "es");
  ExpectConverted("12/02/2024", "ddd dd mmm", "Lun 12 F\xE9v", "fr");
  ExpectConverted("12/08/2024", "dddd mmmm", "Lundi Ao\xFBt", "fR");
  ExpectConverted("11/07/2024", "ddd mmm", "Jeu Jui", "fr");
  ExpectConverted("13/07/2024", "dddd mmm", "Sabado Jul", "Es");
  ExpectConverted("13/07/2024", "dddd", "Saturday", "FRA");
}

TEST(Dates, NormalisationAndShortYears) {
  ExpectConverted("31/02/2024", "dd/mm/yyyy", "02/03/2024");
  ExpectConverted("01/01/24", "yyyy", "2024");
  ExpectConverted("01/01/99", "yyyy yy", "2099 99");
  ExpectConverted("12/05/2024", "DD/MM/YYYY", "12/05/2024");
  // Fields without digits read as 0: day 0 of month 0 of 2000.
  ExpectConverted("dd/mm/yy", "dd/mm/yyyy", "30/11/1999");
}

TEST(Dates, EmptyInputAndFormat) {
  Converted result = Convert("", "");
  EXPECT_EQ(result.code, 0);
  EXPECT_EQ(result.text, "20230304");
  ExpectConverted("12/05/2024", "", "20240512");
  ExpectConverted("", "dd mm yyyy hh", "04 03 2023 12");
}

TEST(Dates, MissingDateFieldsKeepTheCurrentDate) {
  ExpectConverted("12/05", "dd/mm/yyyy", "12/05/2023");
  ExpectConverted("2020", "dd/mm/yyyy", "04/03/2023");  // compact of 4 digits: no date
}

TEST(Dates, UnreadableInputIsReportedOnlyWithoutFormat) {
  Converted result = Convert(" - ", "");
  EXPECT_EQ(result.code, 1);
  EXPECT_EQ(result.text, "20230304");
  EXPECT_EQ(Convert(" - ", "yyyy").code, 0);
  // Compact fields of other lengths, or not all digits, are no date.
  EXPECT_EQ(Convert("1234567", "").code, 1);
  EXPECT_EQ(Convert("12a456", "").code, 1);
  EXPECT_EQ(Convert("12a456", "").text, "20230304");
}

TEST(Dates, PictureSyntaxErrors) {
  for (std::string_view picture :
       {"d", "yyy", "dd t", "dd1", "ddddd", "h", "mmmmm", "sss", "dd*", "dd@mm", "dd\xE9"}) {
    Converted result = Convert("12/05/2024", picture);
    EXPECT_EQ(result.code, 1) << picture;
    EXPECT_EQ(result.text, "") << picture;
  }
  CodecPage page;
  std::string out;
  std::tm tm{};
  EXPECT_EQ(DateWrite(page.proc, "dd-t", kLangEnglish, tm, out), 1);
  EXPECT_EQ(page.TakeTrace(), "DATETIME ERROR = SYNTAX in t\n");
  EXPECT_EQ(DateWrite(page.proc, "dd-y", kLangEnglish, tm, out), 1);
  EXPECT_EQ(page.TakeTrace(), "DATETIME ERROR = SYNTAX in y\n");
}

TEST(Dates, OtherPictureCharactersAreCopied) {
  ExpectConverted("12/05/2024 08:09:10", "dd#mm;yy% n", "12#05;24% n");
  ExpectConverted("12/05/2024 08:09:10", "(dd) 'mm' \"yy\" |hh\\mn,ss",
                  "(12) '05' \"24\" |08\\09,10");
}

TEST(Dates, LongPicturesAndResults) {
  EXPECT_EQ(Convert("12/05/2024", std::string(256, ' ')).code, 1);
  std::string picture;
  for (int i = 0; i < 51; ++i) picture += "dddd ";
  ASSERT_EQ(picture.size(), 255u);
  Converted result = Convert("12/05/2024", picture);
  EXPECT_EQ(result.code, 0);
  EXPECT_EQ(result.text.size(), kMaxDateText);
  EXPECT_EQ(result.text.substr(0, 14), "Sunday Sunday ");
}

TEST(Dates, HugeFieldsGiveADateOrNone) {
  CodecPage page;
  std::tm tm{};
  std::time_t now = FixedNow();
  localtime_r(&now, &tm);
  std::tm before = tm;
  // Day and year beyond what the calendar can hold.
  EXPECT_EQ(DateRead(page.proc, "99999999999/99999999999/99999999999", tm), 1);
  EXPECT_EQ(mktime(&tm), mktime(&before));
  std::string out;
  EXPECT_EQ(DateConvert(page.proc, "12/05/2024 99999999", "dd/mm/yyyy", "", out, now), 0);
  EXPECT_EQ(out, "22/04/13432");
}

TEST(Dates, ReaderTrace) {
  CodecPage page;
  std::tm tm{};
  EXPECT_EQ(DateRead(page.proc, "31/02/2024 1:2:3", tm), 0);
  EXPECT_EQ(page.TakeTrace(), "FR 31/2/2024 1:2:3mktime 2/3/2024 1:2:3\n");
  EXPECT_EQ(DateRead(page.proc, "::", tm), 1);
  EXPECT_EQ(page.TakeTrace(), "ISO Can't convert :: into date\n");
}

}  // namespace
}  // namespace kwl
