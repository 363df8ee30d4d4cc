#include "interp/run_text.h"

#include <gtest/gtest.h>

#include "host/register_tags.h"
#include "interp_fixture.h"

namespace kwl {
namespace {

using testing::PageRun;

TEST(RunText, MissingModuleIsAReportedError) {
  PageRun run;
  run.engine.modules.directory = "/nonexistent";
  EXPECT_EQ(run.Run("a<CONNECT NAME=x>b[$velerr$|$velerrmsg$]<CONNECT NAME=y>[$velerrmsg$]"),
            "ab[1|ERROR: Module db not available][ERROR: Module db not available]");
  EXPECT_EQ(run.tags.modulesFailed, std::vector<std::string>{"db"});
}

}  // namespace
}  // namespace kwl
