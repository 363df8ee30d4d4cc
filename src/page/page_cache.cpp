#include "page/page_cache.h"

namespace kwl {

namespace {

// A site's pages fit many times over; a page making ever new function
// bodies starts the cache afresh instead of growing it without end. Texts
// still running stay alive with their runs.
constexpr size_t kMaxBytes = size_t{64} << 20;
constexpr size_t kMaxTexts = 4096;

}  // namespace

SharedText PageCache::CompileCopy(std::string_view text) {
  if (auto found = byText_.find(text); found != byText_.end()) return found->second;
  return Compile(std::string(text));
}

SharedText PageCache::Compile(std::string&& text) {
  if (auto found = byText_.find(text); found != byText_.end()) return found->second;
  if (bytes_ + text.size() > kMaxBytes || byText_.size() >= kMaxTexts) {
    byText_.clear();
    bytes_ = 0;
  }
  bytes_ += text.size();
  auto compiled = std::make_shared<CompiledText>(std::move(text));
  byText_.emplace(compiled->text(), compiled);
  return compiled;
}

}  // namespace kwl
