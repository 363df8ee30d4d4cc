#include "interp/run_text.h"

#include <gtest/gtest.h>

#include "interp_fixture.h"
#include "host/register_tags.h"

namespace kwl {
namespace {

using testing::OnLargeStack;
using testing::PageRun;

TEST(RunText, DeepNestingStopsCleanly) {
  std::string page;
  for (int i = 0; i < 10000; ++i) page += "<SQL QUERY=x>";
  page += "never";
  OnLargeStack([&] {
    PageRun run;
    EXPECT_EQ(run.Run(page), "");
    EXPECT_EQ(run.interp.abortCode, kAbortFatal);
    EXPECT_EQ(run.proc.nesting, 0);
    EXPECT_EQ(run.proc.stack.blocks.size(), 3u);  // every pushed block was popped
  });
}

TEST(RunText, TruncatedPagesNeverCrash) {
  const char* pages[] = {"<SET NAME=\"abc", "<SET NAME=\"a\\", "<", "<HTML", "$", "$x(", "$x[",
                         "$x(1,", "<!--", "<!-- <!--", "<NOPARSE>", "<COND", "a<\\"};
  for (const char* page : pages) {
    PageRun run;
    run.Run(page);
    EXPECT_EQ(run.proc.nesting, 0) << page;
  }
}

TEST(RunText, BlankChunkFilterModes) {
  const char* page = "a<B> <!-- c --> <!-- d -->\n<B>";
  PageRun keepAll;
  VarSetInt(*keepAll.interp.output, 0);
  EXPECT_EQ(keepAll.Run(page), "a<B>  \n<B>");
  PageRun foldRuns;
  EXPECT_EQ(foldRuns.Run(page), "a<B> <B>");
  PageRun dropBlank;
  VarSetInt(*dropBlank.interp.output, 2);
  EXPECT_EQ(dropBlank.Run(page), "a<B><B>");
}

TEST(RunText, KeptCommentsAreCopiedOnlyWhenExecuted) {
  PageRun run;
  VarSetInt(*run.interp.delcomment, 0);
  EXPECT_EQ(run.Run("a<!-- x <b> -->c<SQL q><!-- skipped <i> --></SQL>"), "a<!-- x <b> -->c");
}

TEST(RunText, CaptureAndOutputFileTakeTheText) {
  PageRun run;
  Variable capture;
  run.interp.capture = &capture;
  VarSetInt(*run.interp.startprint, 0);
  EXPECT_EQ(run.Run("<HTML>x$velerr$"), "");
  EXPECT_EQ(VarText(capture), "<HTML>x0");
  EXPECT_EQ(VarInt(*run.interp.startprint), 0);
}

TEST(RunText, LineCountersFollowTheText) {
  PageRun run;
  run.Run("a\nb\n<SQL x>\n\n</SQL>\n");
  EXPECT_EQ(run.proc.lines.back(), 1 + 5);
}

}  // namespace
}  // namespace kwl

namespace kwl {
namespace {

TEST(RunText, MissingModuleIsAReportedError) {
  testing::PageRun run;
  run.proc.modules.directory = "/nonexistent";
  EXPECT_EQ(run.Run("a<CONNECT NAME=x>b[$velerr$|$velerrmsg$]<CONNECT NAME=y>[$velerrmsg$]"),
            "ab[1|ERROR: Module db not available][ERROR: Module db not available]");
  EXPECT_EQ(run.tags.modulesFailed, std::vector<std::string>{"db"});
}

}  // namespace
}  // namespace kwl

namespace kwl {
namespace {

TEST(RunText, LoopClosedByTheLastChunkRunsEveryPass) {
  testing::PageRun run;
  EXPECT_EQ(run.Run("<SET NAME=i VALUE=0><WHILE EXPR=\"$i$ < 3\">[$i$]<SET NAME=i EXPR=\"$i$+1\"></WHILE>"),
            "[0][1][2]");
}

}  // namespace
}  // namespace kwl
