#include <gtest/gtest.h>

#include <algorithm>

#include "interp_fixture.h"
#include "tags/set_tags.h"

namespace kwl {
namespace {

using testing::OnLargeStack;
using testing::PageRun;

TEST(FunctionTag, EndlessRecursionLeavesTheStackAsItWas) {
  OnLargeStack([] {
    PageRun run;
    size_t blocks = run.proc.stack.blocks.size();
    std::string out =
        run.Run("<FUNCTION NAME=f><SCOPE>x<FUNCTION EXEC=f></FUNCTION><FUNCTION EXEC=f>");
    // A call is refused once fewer than ten levels remain below the nesting limit.
    EXPECT_EQ(std::count(out.begin(), out.end(), 'x'), 989);
    EXPECT_EQ(run.interp.abortCode, kAbortFatal);
    EXPECT_EQ(VarText(*run.interp.errmsg), "ERROR: Too many nested FUNCTION calls (f) ! Exit...");
    EXPECT_EQ(run.proc.stack.blocks.size(), blocks);
    EXPECT_EQ(run.proc.nesting, 0);
  });
}

TEST(FunctionTag, CallsDoNotMoveTheCallersLineNumber) {
  PageRun run;
  // The definition's body lines count once, where it is written; a call
  // runs them again but the caller's count stays.
  run.Run("a\n<FUNCTION NAME=f>\n\n</FUNCTION>\n<FUNCTION EXEC=f><FUNCTION EXEC=f>\n");
  EXPECT_EQ(run.proc.lines.back(), 1 + 1 + 2 + 1 + 1);
}

}  // namespace
}  // namespace kwl
