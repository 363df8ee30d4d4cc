// ReadNumber: the next decimal number inside free text (attribute values, SVG path data).
#pragma once

#include <string_view>

#include "text/text_log.h"

namespace kwl {

// How far a number runs: over every digit and point, or (as SVG path data
// packs numbers, "3.5.5" being 3.5 and .5) up to a second point.
enum class NumberRun { kDigitsAndPoints, kOnePoint };

// Finds the first digit or "." from `pos`, reads the run of digits and
// points there (negative when a "-" directly precedes it) into `value`, and
// returns the position behind the run; text.size() and 0 when there is none.
size_t ReadNumber(TextLog& log, std::string_view text, double* value, size_t pos = 0,
                  NumberRun run = NumberRun::kDigitsAndPoints);

}  // namespace kwl
