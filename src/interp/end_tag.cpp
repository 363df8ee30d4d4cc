#include "interp/end_tag.h"

#include "text/ascii.h"

namespace kwl {

namespace {

size_t ScanForEndTag(std::string_view text, size_t from, std::string_view endTag) {
  for (size_t pos = text.find('<', from); pos != std::string_view::npos;
       pos = text.find('<', pos + 1)) {
    if (text.size() - pos >= endTag.size() &&
        AsciiEqualsNoCase(text.substr(pos, endTag.size()), endTag)) {
      return pos;
    }
  }
  return std::string_view::npos;
}

// The kept search for `endTag`, or a free slot, or (more end tags than slots)
// the first slot, whose search is then simply done again.
EndTagSearch& LastSearch(Interpreter& interp, std::string_view endTag) {
  for (EndTagSearch& search : interp.endTagSearches) {
    if (search.endTag == endTag) return search;
  }
  for (EndTagSearch& search : interp.endTagSearches) {
    if (search.endTag.empty()) return search;
  }
  return interp.endTagSearches[0];
}

}  // namespace

size_t FindEndTag(Interpreter& interp, std::string_view text, size_t from,
                  std::string_view endTag) {
  EndTagSearch& last = LastSearch(interp, endTag);
  // The same text: the same start and length (see RunText for its lifetime).
  bool sameText =
      last.endTag == endTag && last.text.data() == text.data() && last.text.size() == text.size();
  // npos, the largest size_t, answers every later start.
  if (sameText && last.from <= from && from <= last.found) return last.found;
  size_t found = ScanForEndTag(text, from, endTag);
  last = EndTagSearch{endTag, text, from, found};
  return found;
}

}  // namespace kwl
