// Number lists of PDF and PICT attributes (RECT, LINE, POSITION, PADDING, ROUND, PAGESIZE).
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace kwl {

// Exactly `count` integers read from `text`, cut at commas and spaces;
// missing ones are 0. With `repeatSingle` (ROUND, PAGESIZE) a list of one
// number gives that number for the second as well.
std::vector<int32_t> ReadNumberList(std::string_view text, size_t count, bool repeatSingle = false);

}  // namespace kwl
