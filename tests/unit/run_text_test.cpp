#include "interp/run_text.h"

#include <gtest/gtest.h>

#include "host/register_tags.h"
#include "interp_fixture.h"

namespace kwl {
namespace {

using testing::PageRun;

TEST(RunText, KeptCommentsLineCountsAndCapture) {
  PageRun run;
  VarSetInt(*run.interp.delcomment, 0);
  EXPECT_EQ(run.Run("a<!-- x <b> -->c\n<SQL q>\n<!-- skipped <i> -->\n</SQL>\n"),
            "a<!-- x <b> -->c\n\n");
  EXPECT_EQ(run.proc.lines.back(), 1 + 4);

  PageRun captured;
  Variable capture;
  captured.interp.capture = &capture;
  VarSetInt(*captured.interp.startprint, 0);
  EXPECT_EQ(captured.Run("<HTML>x$velerr$"), "");
  EXPECT_EQ(VarText(capture), "<HTML>x0");
  EXPECT_EQ(VarInt(*captured.interp.startprint), 0);
}

TEST(RunText, MissingModuleIsAReportedError) {
  PageRun run;
  run.engine.modules.directory = "/nonexistent";
  EXPECT_EQ(run.Run("a<CONNECT NAME=x>b[$velerr$|$velerrmsg$]<CONNECT NAME=y>[$velerrmsg$]"),
            "ab[1|ERROR: Module db not available][ERROR: Module db not available]");
  EXPECT_EQ(run.tags.modulesFailed, std::vector<std::string>{"db"});
}

TEST(RunText, LoopClosedByTheLastChunkRunsEveryPass) {
  PageRun run;
  EXPECT_EQ(
      run.Run(
          "<SET NAME=i VALUE=0><WHILE EXPR=\"$i$ < 3\">[$i$]<SET NAME=i EXPR=\"$i$+1\"></WHILE>"),
      "[0][1][2]");
}

}  // namespace
}  // namespace kwl
