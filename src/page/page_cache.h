// The compiled texts of a process, by content: a page, an included file or a
// function body is compiled once and shared by every run that meets it again.
// Page files are also known by path and file identity, so that a file that
// has not changed is not even read again.
#pragma once

#include <sys/stat.h>

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>

#include "core/process.h"
#include "page/compiled_text.h"

namespace kwl {

class PageCache {
 public:
  // The compiled form of `text`: the cached one with the same bytes, else a
  // new one (which takes the text over).
  SharedText Compile(std::string&& text);
  // The same for a text that is copied only when it is not cached yet.
  SharedText CompileCopy(std::string_view text);
  // The compiled text of the regular file at `path`: the one read before
  // while its inode, size and modification times are the same, else the file
  // read whole again. Null when it is no regular file or cannot be read.
  SharedText CompileFile(Process& proc, const std::string& path);
  size_t size() const { return byText_.size(); }

 private:
  struct KnownFile {
    struct stat stamp;
    SharedText text;
  };
  void Clear();
  // Drops a text from the cache when nothing but the cache holds it.
  void Forget(const SharedText& text);

  // Keys view the bytes the compiled texts own.
  std::unordered_map<std::string_view, SharedText> byText_;
  std::unordered_map<std::string, KnownFile> byFile_;
  size_t bytes_ = 0;
};

}  // namespace kwl
