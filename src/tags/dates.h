// Dates: reading the usual date layouts and writing them by a picture, in English, French or
// Spanish.
#pragma once

#include <ctime>
#include <string>
#include <string_view>

#include "core/process.h"

namespace kwl {

constexpr int kLangEnglish = 0;
constexpr int kLangFrench = 1;
constexpr int kLangSpanish = 2;
constexpr size_t kMaxDateText = 255;

// "EN", "FR", "ES" in any case; anything else is English.
int DateLanguage(std::string_view lang);

// Reads `input` (when not empty) over the local time `now` and writes it by
// `format`, or as YYYYMMDD when the format is empty. Returns 0, the
// reader's code when the format is empty, else the writer's code.
int DateConvert(Process& proc, std::string_view input, std::string_view format,
                std::string_view lang, std::string& out, std::time_t now = std::time(nullptr));

// Reads day/month/year ("/"), month.day.year ("."), year-month-day ("-") or
// the compact YYMMDD / YYYYMMDD, with an optional time after it, into `tm`
// and normalises it. Returns 1, leaving `tm` as it was, when the text holds
// no date.
int DateRead(Process& proc, std::string_view text, std::tm& tm);

// Writes `tm` by `picture` (dd ddd dddd mm mmm mmmm mn yy yyyy hh ss and
// separators). Returns 1 with `out` empty on a syntax error.
int DateWrite(Process& proc, std::string_view picture, int lang, const std::tm& tm,
              std::string& out);

}  // namespace kwl
