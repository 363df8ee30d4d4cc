// The end tag of a tag that reads its own body (SETAREA, FUNCTION), found in linear time.
#pragma once

#include <cstddef>
#include <string_view>

#include "interp/interpreter.h"

namespace kwl {

// Position of the first `endTag` ("</FUNCTION", say: the "<" exactly, the rest
// without regard to case) at or behind `from` in the running `text`, or npos.
// Each unclosed tag searches again from a little further on, so the last
// search for each end tag is kept: one that starts between its start and its
// answer has the same answer, and a page of unclosed tags is scanned once.
// `endTag` is kept with the search: a literal.
size_t FindEndTag(Interpreter& interp, std::string_view text, size_t from, std::string_view endTag);

}  // namespace kwl
