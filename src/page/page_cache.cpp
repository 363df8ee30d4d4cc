#include "page/page_cache.h"

#include "core/paths.h"

namespace kwl {

namespace {

// A site's pages fit many times over; a page making ever new function
// bodies starts the cache afresh instead of growing it without end. Texts
// still running stay alive with their runs.
constexpr size_t kMaxBytes = size_t{64} << 20;
constexpr size_t kMaxTexts = 4096;

bool SameTime(const timespec& a, const timespec& b) {
  return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

// Replacing a file (editors, deployments) changes its inode; rewriting it
// in place changes its size or times.
bool SameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size &&
         SameTime(a.st_mtim, b.st_mtim) && SameTime(a.st_ctim, b.st_ctim);
}

}  // namespace

void PageCache::Clear() {
  byFile_.clear();
  byText_.clear();
  bytes_ = 0;
}

void PageCache::Forget(const SharedText& text) {
  if (text.use_count() > 2) return;  // the caller's copy and the cache's
  auto found = byText_.find(text->text());
  if (found == byText_.end() || found->second != text) return;
  bytes_ -= text->text().size();
  byText_.erase(found);
}

SharedText PageCache::CompileCopy(std::string_view text) {
  if (auto found = byText_.find(text); found != byText_.end()) return found->second;
  return Compile(std::string(text));
}

SharedText PageCache::Compile(std::string&& text) {
  if (auto found = byText_.find(text); found != byText_.end()) return found->second;
  if (bytes_ + text.size() > kMaxBytes || byText_.size() >= kMaxTexts) Clear();
  bytes_ += text.size();
  auto compiled = std::make_shared<CompiledText>(std::move(text));
  byText_.emplace(compiled->text(), compiled);
  return compiled;
}

SharedText PageCache::CompileFile(Process& proc, const std::string& path) {
  struct stat stamp;
  if (path.find('\0') != std::string::npos || stat(path.c_str(), &stamp) != 0 ||
      !S_ISREG(stamp.st_mode)) {
    return nullptr;
  }
  auto known = byFile_.find(path);
  if (known != byFile_.end() && SameFile(known->second.stamp, stamp)) return known->second.text;
  // The stamp was taken first: a change while reading shows on the next look.
  std::string bytes;
  if (!LoadWholeFile(proc, path, &bytes)) return nullptr;
  SharedText compiled = Compile(std::move(bytes));
  known = byFile_.find(path);  // Compile may have started the cache afresh
  if (known == byFile_.end()) {
    byFile_.emplace(path, KnownFile{stamp, compiled});
  } else {
    SharedText old = std::move(known->second.text);
    known->second = KnownFile{stamp, compiled};
    if (old != compiled) Forget(old);
  }
  return compiled;
}

}  // namespace kwl
