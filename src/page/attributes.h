// Tag attributes: parsing a tag chunk into named raw values, and looking them up.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "core/variable.h"
#include "text/text_log.h"

namespace kwl {

// One Variable per attribute in written order; names upper-cased in case
// mode 1, kept as written in mode 0; values raw (not substituted).
using AttributeList = std::vector<Variable>;

constexpr size_t kMaxAttributeName = 255;

AttributeList ParseAttributes(TextLog& log, std::string_view chunk, int caseMode = 1);
// The first attribute whose name equals `name` without regard to case.
Variable* FindAttribute(AttributeList& list, std::string_view name);
const Variable* FindAttribute(const AttributeList& list, std::string_view name);

}  // namespace kwl
