// Tag attributes: parsing a tag chunk into named raw values, and looking them up.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "core/process.h"
#include "core/variable.h"

namespace kwl {

// One Variable per attribute in written order; names upper-cased in case
// mode 1, kept as written in mode 0; values raw (not substituted).
using AttributeList = std::vector<Variable>;

constexpr size_t kMaxAttributeName = 255;

AttributeList ParseAttributes(Process& proc, std::string_view chunk, int caseMode = 1);
// The first attribute whose name equals `name` without regard to case.
Variable* FindAttribute(AttributeList& list, std::string_view name);
const Variable* FindAttribute(const AttributeList& list, std::string_view name);

using SharedAttributes = std::shared_ptr<const AttributeList>;

// Parsed attributes by tag text, for tags that only read them: a loop body
// runs the same tags on every pass, and each distinct text is parsed once.
// While the trace is on every parse is traced, so nothing is kept then.
class AttributeCache {
 public:
  SharedAttributes Get(Process& proc, std::string_view chunk);

 private:
  struct Hash {
    using is_transparent = void;
    size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
  };
  std::unordered_map<std::string, SharedAttributes, Hash, std::equal_to<>> parsed_;
  size_t bytes_ = 0;
};

}  // namespace kwl
