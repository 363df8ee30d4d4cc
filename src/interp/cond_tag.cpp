// COND and ELSE: the conditional block and its else / else-if branches.
#include <optional>

#include "interp/condition.h"
#include "interp/control_tags.h"
#include "interp/text_plan.h"
#include "page/attributes.h"

namespace kwl {

namespace {

// The EXPR of a COND, ELSE or WHILE cut once.
struct ConditionTagPlan final : TagPlan {
  explicit ConditionTagPlan(const AttributeList& attributes) {
    const Variable* expr = FindAttribute(attributes, "EXPR");
    hasExpr = expr != nullptr;
    if (expr && !VarRawText(*expr).empty()) condition.emplace(VarRawText(*expr));
  }
  bool hasExpr;
  std::optional<ConditionPlan> condition;  // none for an empty EXPR
};

// The plan of the chunk when it may run the tag now.
ConditionTagPlan* PlanToRun(Interpreter& interp, const TagCall& call) {
  ConditionTagPlan* plan = TagPlanOf<ConditionTagPlan>(interp, call);
  return plan && PlansApply(interp) ? plan : nullptr;
}

}  // namespace

bool OpeningCondition(Interpreter& interp, const TagCall& call, bool* flag, const char* noExpr) {
  if (ConditionTagPlan* plan = PlanToRun(interp, call); plan && plan->hasExpr) {
    *flag = plan->condition && plan->condition->Eval(interp);
    return plan->condition.has_value();
  }
  const AttributeList& attributes = TagAttributes(interp, call);
  const Variable* expr = FindAttribute(attributes, "EXPR");
  *flag = false;  // a block without a condition never runs
  if (!expr) {
    ReportError(interp, 1, noExpr);
    return true;
  }
  if (VarRawText(*expr).empty()) return false;
  *flag = EvalCondition(interp, VarRawText(*expr));
  return true;
}

ConditionPlan* PlannedCondition(const TagCall& call) {
  CompiledText::Parsed* parsed = call.cut.parsed.get();
  auto* plan = parsed ? static_cast<ConditionTagPlan*>(parsed->plan.get()) : nullptr;
  return plan && plan->hasExpr && plan->condition ? &*plan->condition : nullptr;
}

bool CondTag(Interpreter& interp, const TagCall& call, bool* flag) {
  return OpeningCondition(interp, call, flag, "ERROR: No EXPR defined in tag COND");
}

bool ElseTag(Interpreter& interp, const TagCall& call, bool* flag) {
  if (ConditionTagPlan* plan = PlanToRun(interp, call); plan && plan->condition) {
    *flag = plan->condition->Eval(interp);
    return true;
  }
  const AttributeList& attributes = TagAttributes(interp, call);
  const Variable* expr = FindAttribute(attributes, "EXPR");
  *flag = expr ? EvalCondition(interp, VarRawText(*expr)) : true;
  return true;
}

}  // namespace kwl
