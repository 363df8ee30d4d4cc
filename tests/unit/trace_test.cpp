#include "core/trace.h"

#include <gtest/gtest.h>

namespace kwl {
namespace {

// The trace file mirrors the page path inside the trace directory, never above it.
TEST(Trace, FileNameMirrorsThePagePathInsideTheTraceDirectory) {
  const std::pair<const char*, const char*> cases[] = {
      {"/www/site/index.kwl", "kwldebug/www/site/index.kwl.debug"},
      {"/www/../site/../index.kwl", "kwldebug/www/site/index.kwl.debug"},
      {"", "kwldebug/Debug.file"},
      {"/index.kwl", "kwldebug/index.kwl.debug"},
      {"site/index.kwl", "kwldebug/index.kwl.debug"},
      {"c:\\www\\index.kwl", "kwldebug/www/index.kwl.debug"},
  };
  for (auto [page, file] : cases) EXPECT_EQ(TraceFileName(page, false), file) << page;
}

}  // namespace
}  // namespace kwl
