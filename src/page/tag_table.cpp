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
}  // namespace

constinit const std::array<TagInfo, kTagCodeCount> kTagInfo = MakeInfo();

std::span<const TagEntry> TagTable() {
  return kTags;
}

}  // namespace kwl
