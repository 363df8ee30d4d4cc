#include "page/tag_table.h"

#include <array>

namespace kwl {

namespace {

#define KWL_TAG(id, code, opening, name, kind, listed, ...) {opening, name, code, listed != 0},
#define KWL_ALIAS(id, opening) {opening, "", kTag##id, false},
constexpr TagEntry kTags[] = {
#include "page/tags.def"
};
#undef KWL_TAG
#undef KWL_ALIAS

constexpr std::array<TagInfo, kTagCodeCount> MakeInfo() {
  std::array<TagInfo, kTagCodeCount> info{};
#define KWL_TAG(id, code, opening, name, kind, listed, module, runMode, skipMode, handler) \
  info[code] = TagInfo{TagKind::kind, name, module, runMode, skipMode};
#define KWL_ALIAS(id, opening)
#include "page/tags.def"
#undef KWL_TAG
#undef KWL_ALIAS
  return info;
}
constexpr std::array<TagInfo, kTagCodeCount> kInfo = MakeInfo();

}  // namespace

std::span<const TagEntry> TagTable() {
  return kTags;
}

const TagInfo& TagInfoOf(int code) {
  static const TagInfo kNone{};
  return code > 0 && code < kTagCodeCount ? kInfo[static_cast<size_t>(code)] : kNone;
}

}  // namespace kwl
