// The XPROC tag's own reading of XML or HTML-like text: an element scanner
// for listing the top level, and a slash-path selection, both without a parser.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "core/datable.h"
#include "core/process.h"

namespace kwl {

// Longest element name that is listed or searched for, and longest path step.
constexpr size_t kMaxXProcName = 255;
constexpr size_t kMaxXProcStep = 511;

struct XProcElement {
  std::string_view name;        // what follows "<" (or "<?", "<!")
  std::string_view attributes;  // the text between the name and ">"
  std::string_view content;     // between the start tag and its end tag
  size_t start = 0;             // position of the "<"
};

// A text and what the scanner learns of it: where each start tag's end
// tag is, found for all names in one pass the first time one is asked for,
// so that a text full of unclosed elements is still read in linear time.
class XProcText {
 public:
  explicit XProcText(std::string_view text) : text_(text) {}
  // The next element from `pos`, and the position behind it (behind its end
  // tag when it has one); false when no "<" is left.
  bool NextElement(Process& proc, size_t pos, XProcElement* element, size_t* next);

 private:
  struct Tags {
    std::vector<size_t> at;        // positions of the "<" of each start and end tag
    std::vector<bool> opens;       // start tag (true) or end tag
    std::vector<uint32_t> closer;  // for each position: the first end tag that closes depth 1
    bool ready = false;
  };
  // Position of the end tag that closes an element of `name` whose content
  // begins at `from` (start tags of the same name nest); npos when none.
  size_t FindEndTag(std::string_view name, size_t from);
  void Index();

  std::string_view text_;
  std::unordered_map<std::string, Tags> byName_;  // by lower-case name
  bool indexed_ = false;
};

// Listing mode: one row (xproc.name, xproc.attributes, xproc.content) per
// element of the text's top level.
void XProcList(Process& proc, std::string_view text, DATable& table);

// Select mode: rows of the elements that `path` selects, one column per
// element name (and attribute name when the path has an at sign).
void XProcSelect(Process& proc, std::string_view text, std::string_view path, DATable& table);

}  // namespace kwl
