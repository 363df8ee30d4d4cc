#include "interp/target_scope.h"

#include <gtest/gtest.h>

#include "core/resolve.h"
#include "interp_fixture.h"

namespace kwl {
namespace {

using testing::PageRun;

Scope* TargetOf(PageRun& run, std::string_view chunk, std::string* attribute = nullptr) {
  AttributeList attributes = ParseAttributes(run.proc, chunk);
  Variable* name = nullptr;
  Scope* scope = TargetScope(run.interp, attributes, &name);
  if (attribute) *attribute = name ? name->name : "";
  return scope;
}

Scope& Push(PageRun& run, std::string_view name, char kind) {
  size_t at = BlockPush(run.proc.stack, BlockNew(run.proc.stack, name, kind));
  return run.proc.stack.blocks[at - 1]->vars;
}

TEST(TargetScope, FirstNamingAttributeInFixedOrderDecides) {
  PageRun run;
  Scope& local = Push(run, "sect", kBlockLocal);
  std::string attribute;
  EXPECT_EQ(TargetOf(run, "<SET NAME=a RETURN=b LOCAL=c GLOBAL=d SESSION=e>", &attribute),
            run.interp.session);
  EXPECT_EQ(attribute, "SESSION");
  EXPECT_TRUE(run.interp.sessionChanged);
  run.interp.sessionChanged = false;
  EXPECT_EQ(TargetOf(run, "<SET NAME=a RETURN=b LOCAL=c GLOBAL=d>"), run.interp.global);
  EXPECT_EQ(TargetOf(run, "<SET RETURN=b NAME=a LOCAL=c>", &attribute), &local);
  EXPECT_EQ(attribute, "LOCAL");
  EXPECT_EQ(TargetOf(run, "<SET RETURN=b name=a>", &attribute), &local);
  EXPECT_EQ(attribute, "NAME");
  EXPECT_FALSE(run.interp.sessionChanged);
  EXPECT_EQ(TargetOf(run, "<SET VALUE=1>", &attribute), nullptr);
  EXPECT_EQ(attribute, "");
  // SCOPE names a block after substitution; an unknown one is the topmost block.
  run.Set("which", "sect");
  EXPECT_EQ(TargetOf(run, "<SET NAME=a SCOPE=$which$>"), &local);
  EXPECT_EQ(TargetOf(run, "<SET NAME=a SCOPE=GLOBAL>"), run.interp.global);
  Push(run, "inner", kBlockLocal);
  EXPECT_EQ(TargetOf(run, "<SET NAME=a SCOPE=Sect>"), &BlockTop(run.proc.stack)->vars);
}

TEST(TargetScope, ResultBlocksAreNeverTargetsAndReturnGoesBelowTheFunction) {
  PageRun run;
  EXPECT_EQ(TargetOf(run, "<SET RETURN=a>"), run.interp.global);
  Push(run, "SQL", kBlockData);
  EXPECT_EQ(TargetOf(run, "<SET NAME=a>"), run.interp.global);
  Scope& caller = Push(run, "caller", kBlockFunction);
  Push(run, "SQL", kBlockData);
  EXPECT_EQ(TargetOf(run, "<SET NAME=a SCOPE=SQL>"), &caller);
  Push(run, "callee", kBlockFunction);
  Push(run, "SQL", kBlockData);
  EXPECT_EQ(TargetOf(run, "<SET RETURN=a>"), &caller);
}

}  // namespace
}  // namespace kwl
