// COND and ELSE: the conditional block and its else / else-if branches.
#include "interp/condition.h"
#include "interp/control_tags.h"
#include "page/attributes.h"

namespace kwl {

bool OpeningCondition(Interpreter& interp, const TagCall& call, bool* flag, const char* noExpr) {
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

bool CondTag(Interpreter& interp, const TagCall& call, bool* flag) {
  return OpeningCondition(interp, call, flag, "ERROR: No EXPR defined in tag COND");
}

bool ElseTag(Interpreter& interp, const TagCall& call, bool* flag) {
  const AttributeList& attributes = TagAttributes(interp, call);
  const Variable* expr = FindAttribute(attributes, "EXPR");
  *flag = expr ? EvalCondition(interp, VarRawText(*expr)) : true;
  return true;
}

}  // namespace kwl
