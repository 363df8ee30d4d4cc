#include "interp/target_scope.h"

#include <gtest/gtest.h>

#include "core/resolve.h"
#include "interp_fixture.h"

namespace kwl {
namespace {

using testing::PageRun;

struct Target {
  Scope* scope;
  std::string attribute;
};

Target TargetOf(PageRun& run, std::string_view chunk) {
  AttributeList attributes = ParseAttributes(run.proc, chunk);
  Variable* name = nullptr;
  Scope* scope = TargetScope(run.interp, attributes, &name);
  return {scope, name ? name->name : ""};
}

Scope& Push(PageRun& run, std::string_view name, char kind) {
  size_t at = BlockPush(run.proc.stack, BlockNew(run.proc.stack, name, kind));
  return run.proc.stack.blocks[at - 1]->vars;
}

TEST(TargetScope, FirstNamingAttributeInFixedOrderDecides) {
  PageRun run;
  Scope& local = Push(run, "sect", kBlockLocal);
  Target t = TargetOf(run, "<SET NAME=a RETURN=b LOCAL=c GLOBAL=d SESSION=e>");
  EXPECT_EQ(t.scope, run.interp.session);
  EXPECT_EQ(t.attribute, "SESSION");
  EXPECT_TRUE(run.interp.sessionChanged);

  run.interp.sessionChanged = false;
  t = TargetOf(run, "<SET NAME=a RETURN=b LOCAL=c GLOBAL=d>");
  EXPECT_EQ(t.scope, run.interp.global);
  EXPECT_EQ(t.attribute, "GLOBAL");
  t = TargetOf(run, "<SET RETURN=b NAME=a LOCAL=c>");
  EXPECT_EQ(t.scope, &local);
  EXPECT_EQ(t.attribute, "LOCAL");
  t = TargetOf(run, "<SET RETURN=b name=a>");
  EXPECT_EQ(t.scope, &local);
  EXPECT_EQ(t.attribute, "NAME");
  EXPECT_FALSE(run.interp.sessionChanged);

  t = TargetOf(run, "<SET VALUE=1>");
  EXPECT_EQ(t.scope, nullptr);
  EXPECT_EQ(t.attribute, "");
}

TEST(TargetScope, ResultBlocksAreNeverTargets) {
  PageRun run;
  Push(run, "SQL", kBlockData);
  EXPECT_EQ(TargetOf(run, "<SET NAME=a>").scope, run.interp.global);
  Scope& function = Push(run, "f", kBlockFunction);
  Push(run, "SQL", kBlockData);
  EXPECT_EQ(TargetOf(run, "<SET NAME=a>").scope, &function);
  // Even when named by SCOPE.
  EXPECT_EQ(TargetOf(run, "<SET NAME=a SCOPE=SQL>").scope, &function);
}

TEST(TargetScope, ScopeAttributeNamesABlockAfterSubstitution) {
  PageRun run;
  Scope& outer = Push(run, "outer", kBlockLocal);
  Push(run, "inner", kBlockLocal);
  run.Set("which", "outer");
  EXPECT_EQ(TargetOf(run, "<SET NAME=a SCOPE=$which$>").scope, &outer);
  EXPECT_EQ(TargetOf(run, "<SET NAME=a SCOPE=GLOBAL>").scope, run.interp.global);
  // An unknown block falls back to the topmost one; names compare exactly.
  EXPECT_EQ(TargetOf(run, "<SET NAME=a SCOPE=Outer>").scope, &BlockTop(run.proc.stack)->vars);
}

TEST(TargetScope, ReturnGoesBelowTheFunctionPastResultBlocks) {
  PageRun run;
  EXPECT_EQ(TargetOf(run, "<SET RETURN=a>").scope, run.interp.global);
  Scope& caller = Push(run, "caller", kBlockFunction);
  Push(run, "SQL", kBlockData);
  Push(run, "callee", kBlockFunction);
  Push(run, "SQL", kBlockData);
  EXPECT_EQ(TargetOf(run, "<SET RETURN=a>").scope, &caller);
}

}  // namespace
}  // namespace kwl
