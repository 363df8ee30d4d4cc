// The tag table, made from the tag list (tags.def): codes, openings, kinds.
#pragma once

#include <array>
#include <span>

namespace kwl {

// How the loop runs a tag.
enum class TagKind : unsigned char {
  Text,        // written like text (an end tag met outside its opening tag's handler)
  Plain,       // its handler runs when the chunk is executed
  Always,      // its handler runs whether executed or not
  Body,        // its handler reads its own body when executed, and says where to go on
  AlwaysBody,  // the same, executed or not (comments)
  Block,       // COND and WHILE: the loop runs the body through the handler
  RowBlock,    // SQL, XPROC, XPATH: the body runs once per row a row source fills
  Else,        // ELSE inside COND
  End,         // closes the block whose modes it names; elsewhere fatal
  Deprecated,  // a warning, executed or not
  Ignored,     // nothing at all
};

// Tag codes (the dispatch keys).
enum TagCode : int {
  kTagNone = 0,
#define KWL_TAG(id, code, ...) kTag##id = code,
#define KWL_ALIAS(id, opening)
#include "page/tags.def"
#undef KWL_TAG
#undef KWL_ALIAS
  kTagCodeCount = 55
};

struct TagEntry {
  const char* opening;  // what a chunk must begin with, "<" included
  const char* name;     // the tag family, as end-tag messages name it
  int code;
  bool listed;  // shown in the information page's tag list
};

// The openings in their fixed order (the order decides between openings
// that share a beginning, such as "<SETAREA" and "<SET").
std::span<const TagEntry> TagTable();

// What the loop and the module loader know of a tag code.
struct TagInfo {
  TagKind kind = TagKind::Text;
  const char* name = "";
  const char* module = nullptr;  // the module registering its handlers, if any
  int runMode = 0;               // blocks and end tags: the body's modes
  int skipMode = 0;
};
extern const std::array<TagInfo, kTagCodeCount> kTagInfo;
inline const TagInfo& TagInfoOf(int code) {
  return kTagInfo[code > 0 && code < kTagCodeCount ? static_cast<size_t>(code) : 0];
}

}  // namespace kwl
