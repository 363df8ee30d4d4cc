#include "tags/dates.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "core/trace.h"
#include "core/variable.h"

namespace kwl {

namespace {

using Names7 = std::string_view[3][7];
using Names12 = std::string_view[3][12];

// Accented letters are ISO-8859-1 bytes.
constexpr Names7 kDayAbbrev = {
    {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"},
    {"Lun", "Mar", "Mer", "Jeu", "Ven", "Sam", "Dim"},
    {"Lun", "Mar", "Mie", "Jue", "Vie", "Sab", "Dom"},
};
constexpr Names7 kDayName = {
    {"Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday", "Sunday"},
    {"Lundi", "Mardi", "Mercredi", "Jeudi", "Vendredi", "Samedi", "Dimanche"},
    {"Lunes", "Martes", "Miercoles", "Jueves", "Viernes", "Sabado", "Domingo"},
};
constexpr Names12 kMonthAbbrev = {
    {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"},
    {"Jan", "F\xE9v", "Mar", "Avr", "Mai", "Jun", "Jui", "Aou", "Sep", "Oct", "Nov",
     "D\xE9"
     "c"},
    {"Ene", "Feb", "Mar", "Abr", "May", "Jun", "Jul", "Ago", "Sep", "Oct", "Nov", "Dic"},
};
constexpr Names12 kMonthName = {
    {"January", "February", "March", "April", "May", "June", "July", "August", "September",
     "October", "November", "December"},
    {"Janvier", "F\xE9vrier", "Mars", "Avril", "Mai", "Juin", "Juillet", "Ao\xFBt", "Septembre",
     "Octobre", "Novembre",
     "D\xE9"
     "cembre"},
    {"Enero", "Febrero", "Marzo", "Abril", "Mayo", "Junio", "Julio", "Agosto", "Septiembre",
     "Octubre", "Noviembre", "Diciembre"},
};

constexpr std::string_view kReadSeparators = "-:/. ";
constexpr std::string_view kRejected =
    "abcefgijklopqrtuvwxz0123456789\xE9\xE8\xEA\xE0\xE2$\xF9\xEE\xE7@[]_~&{}=+!`*";

enum class Layout { kDayMonthYear, kMonthDayYear, kYearMonthDay, kCompact };

Layout ChooseLayout(Process& proc, std::string_view text) {
  if (text.find('/') != std::string_view::npos) {
    TRACE(proc, "FR ");
    return Layout::kDayMonthYear;
  }
  if (text.find('.') != std::string_view::npos) {
    TRACE(proc, "UK ");
    return Layout::kMonthDayYear;
  }
  if (text.find('-') != std::string_view::npos) {
    TRACE(proc, "ISO-");
    return Layout::kYearMonthDay;
  }
  TRACE(proc, "ISO ");
  return Layout::kCompact;
}

std::vector<std::string_view> SplitFields(std::string_view text) {
  std::vector<std::string_view> fields;
  size_t pos = 0;
  while ((pos = text.find_first_not_of(kReadSeparators, pos)) != std::string_view::npos) {
    size_t end = text.find_first_of(kReadSeparators, pos);
    if (end == std::string_view::npos) end = text.size();
    fields.push_back(text.substr(pos, end - pos));
    pos = end;
  }
  return fields;
}

struct DateFields {
  int year, month, day;  // month 1-based
};

bool AllDigits(std::string_view text) {
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

int Digits(std::string_view text) {
  int value = 0;
  for (char c : text) value = value * 10 + (c - '0');
  return value;
}

// YYMMDD or YYYYMMDD; anything else is no date.
bool ReadCompact(std::string_view field, DateFields& date) {
  if ((field.size() != 6 && field.size() != 8) || !AllDigits(field)) return false;
  size_t yearDigits = field.size() - 4;
  date.year = Digits(field.substr(0, yearDigits));
  date.month = Digits(field.substr(yearDigits, 2));
  date.day = Digits(field.substr(yearDigits + 2, 2));
  return true;
}

// The date fields in the layout's order; a missing field keeps its value.
void ReadOrdered(const std::vector<std::string_view>& fields, Layout layout, DateFields& date) {
  int* order[3];
  switch (layout) {
    case Layout::kDayMonthYear:
      order[0] = &date.day, order[1] = &date.month, order[2] = &date.year;
      break;
    case Layout::kMonthDayYear:
      order[0] = &date.month, order[1] = &date.day, order[2] = &date.year;
      break;
    default:
      order[0] = &date.year, order[1] = &date.month, order[2] = &date.day;
      break;
  }
  for (size_t i = 0; i < 3 && i < fields.size(); ++i) *order[i] = ParseDecimal(fields[i]);
}

int FieldOrZero(const std::vector<std::string_view>& fields, size_t i) {
  return i < fields.size() ? ParseDecimal(fields[i]) : 0;
}

int CannotConvert(Process& proc, std::string_view text) {
  TRACE(proc, "Can't convert %.*s into date\n", static_cast<int>(text.size()), text.data());
  return 1;
}

std::string_view DayName(const Names7& table, int lang, const std::tm& tm) {
  return table[lang][(tm.tm_wday + 6) % 7];
}

int SyntaxError(Process& proc, char c, std::string& out) {
  TRACE(proc, "DATETIME ERROR = SYNTAX in %c\n", c);
  out.clear();
  return 1;
}

void AppendTwoDigits(long long value, std::string& out) {
  char number[32];
  std::snprintf(number, sizeof number, "%02lld", value);
  out.append(number);
}

// Appends what a run of `count` letters `c` stands for; false for a run
// length that means nothing.
bool WritePlaceholder(char c, size_t count, int lang, const std::tm& tm, std::string& out) {
  long long year = static_cast<long long>(tm.tm_year) + 1900;
  int month = ((tm.tm_mon % 12) + 12) % 12;
  if (count == 2) {
    switch (c) {
      case 'd':
        AppendTwoDigits(tm.tm_mday, out);
        return true;
      case 'm':
        AppendTwoDigits(month + 1, out);
        return true;
      case 'y':
        AppendTwoDigits(year % 100, out);
        return true;
      case 'h':
        AppendTwoDigits(tm.tm_hour, out);
        return true;
      default:
        AppendTwoDigits(tm.tm_sec, out);
        return true;
    }
  }
  if (c == 'y' && count == 4) {
    char number[32];
    std::snprintf(number, sizeof number, "%04lld", year);
    out.append(number);
    return true;
  }
  if ((c != 'd' && c != 'm') || (count != 3 && count != 4)) return false;
  if (c == 'd') {
    out.append(DayName(count == 3 ? kDayAbbrev : kDayName, lang, tm));
  } else {
    out.append((count == 3 ? kMonthAbbrev : kMonthName)[lang][month]);
  }
  return true;
}

char AsciiLower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c;
}

}  // namespace

int DateLanguage(std::string_view lang) {
  if (lang.size() != 2) return kLangEnglish;
  char a = AsciiLower(lang[0]), b = AsciiLower(lang[1]);
  if (a == 'f' && b == 'r') return kLangFrench;
  if (a == 'e' && b == 's') return kLangSpanish;
  return kLangEnglish;
}

int DateRead(Process& proc, std::string_view text, std::tm& tm) {
  Layout layout = ChooseLayout(proc, text);
  std::vector<std::string_view> fields = SplitFields(text);
  if (fields.empty()) return CannotConvert(proc, text);
  DateFields date{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday};
  size_t timeFrom = 3;
  if (layout == Layout::kCompact) {
    if (!ReadCompact(fields[0], date)) return CannotConvert(proc, text);
    timeFrom = 1;
  } else {
    ReadOrdered(fields, layout, date);
  }
  std::tm read = tm;
  if (date.year < 100) date.year += 2000;
  read.tm_year = date.year - 1900;
  read.tm_mon = date.month - 1;
  read.tm_mday = date.day;
  read.tm_hour = FieldOrZero(fields, timeFrom);
  read.tm_min = FieldOrZero(fields, timeFrom + 1);
  read.tm_sec = FieldOrZero(fields, timeFrom + 2);
  read.tm_isdst = -1;
  TRACE(proc, "%d/%d/%d %d:%d:%d", date.day, date.month, date.year, read.tm_hour, read.tm_min,
        read.tm_sec);
  // mktime leaves the weekday alone when the date is out of its range.
  read.tm_wday = -1;
  mktime(&read);
  if (read.tm_wday < 0) return CannotConvert(proc, text);
  tm = read;
  TRACE(proc, "mktime %d/%d/%lld %d:%d:%d\n", tm.tm_mday, tm.tm_mon + 1,
        static_cast<long long>(tm.tm_year) + 1900, tm.tm_hour, tm.tm_min, tm.tm_sec);
  return 0;
}

int DateWrite(Process& proc, std::string_view picture, int lang, const std::tm& tm,
              std::string& out) {
  out.clear();
  if (picture.size() > kMaxDateText) {
    TRACE(proc, "DATETIME ERROR = FORMAT TOO LONG\n");
    return 1;
  }
  std::string lower(picture);
  for (char& c : lower) c = AsciiLower(c);
  size_t bad = lower.find_first_of(kRejected);
  if (bad != std::string::npos) return SyntaxError(proc, lower[bad], out);
  if (lang < kLangEnglish || lang > kLangSpanish) lang = kLangEnglish;
  for (size_t pos = 0; pos < lower.size();) {
    char c = lower[pos];
    if (c == 'm' && pos + 1 < lower.size() && lower[pos + 1] == 'n') {
      AppendTwoDigits(tm.tm_min, out);
      pos += 2;
    } else if (c == 'd' || c == 'm' || c == 'y' || c == 'h' || c == 's') {
      size_t end = lower.find_first_not_of(c, pos);
      if (end == std::string::npos) end = lower.size();
      if (!WritePlaceholder(c, end - pos, lang, tm, out)) return SyntaxError(proc, c, out);
      pos = end;
    } else {
      // Separators, and any other character, stand for themselves.
      out += c;
      ++pos;
    }
  }
  if (out.size() > kMaxDateText) out.resize(kMaxDateText);
  return 0;
}

int DateConvert(Process& proc, std::string_view input, std::string_view format,
                std::string_view lang, std::string& out, std::time_t now) {
  std::tm tm{};
  localtime_r(&now, &tm);
  int code = 0;
  if (!input.empty()) code = DateRead(proc, input, tm);
  if (format.empty()) {
    char text[64];
    std::strftime(text, sizeof text, "%Y%m%d", &tm);
    out = text;
    return code;
  }
  code = DateWrite(proc, format, DateLanguage(lang), tm, out);
  TRACE(proc, "Convert result is %s\n", out.c_str());
  return code;
}

}  // namespace kwl
