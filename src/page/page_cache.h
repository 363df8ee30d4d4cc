// The compiled texts of a process, by content: a page, an included file or a
// function body is compiled once and shared by every run that meets it again.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>

#include "page/compiled_text.h"

namespace kwl {

class PageCache {
 public:
  // The compiled form of `text`: the cached one with the same bytes, else a
  // new one (which takes the text over).
  SharedText Compile(std::string&& text);
  // The same for a text that is copied only when it is not cached yet.
  SharedText CompileCopy(std::string_view text);
  size_t size() const { return byText_.size(); }

 private:
  // Keys view the bytes the compiled texts own.
  std::unordered_map<std::string_view, SharedText> byText_;
  size_t bytes_ = 0;
};

}  // namespace kwl
