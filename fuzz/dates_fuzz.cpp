// The date reader, and the writer behind it: a line of date text, then a
// picture to write it by. Times are UTC, so that runs repeat.
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <string>

#include "fuzz_support.h"
#include "tags/dates.h"

using namespace kwl;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  setenv("TZ", "UTC", 1);
  tzset();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view input = fuzz::Bytes(data, size);
  const uint8_t switches = fuzz::TakeSwitches(input);
  const std::string_view text = fuzz::TakeLine(input);
  const std::string_view picture = input;
  Process proc;
  fuzz::QuietTrace trace(proc, switches & 1);

  constexpr std::time_t kNow = 1700000000;  // 2023-11-14 22:13:20
  std::tm tm{};
  gmtime_r(&kNow, &tm);
  const std::tm before = tm;
  const int code = DateRead(proc, text, tm);
  FUZZ_CHECK(code == 0 || code == 1);
  if (code == 1) {
    FUZZ_CHECK(tm.tm_year == before.tm_year && tm.tm_mon == before.tm_mon &&
               tm.tm_mday == before.tm_mday && tm.tm_hour == before.tm_hour &&
               tm.tm_min == before.tm_min && tm.tm_sec == before.tm_sec);
  }

  std::string out;
  static constexpr const char* kLanguages[] = {"EN", "fr", "Es"};
  DateWrite(proc, picture, DateLanguage(kLanguages[(switches >> 1) % 3]), tm, out);
  out.clear();
  DateConvert(proc, text, picture, kLanguages[(switches >> 3) % 3], out, kNow);
  return 0;
}
