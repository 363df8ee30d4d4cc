// The control and inclusion tags: COND, ELSE, WHILE, INCLUDE, GET and CREATE.
#pragma once

#include "interp/dispatch.h"
#include "interp/interpreter.h"

namespace kwl {

// COND and WHILE: false opens no block (an empty EXPR); without EXPR the
// error is reported and the flag is false.
bool CondTag(Interpreter& interp, const TagCall& call, bool* flag);
bool WhileTag(Interpreter& interp, const TagCall& call, bool* flag);
// COND and WHILE differ only in the message for a missing EXPR.
bool OpeningCondition(Interpreter& interp, const TagCall& call, bool* flag, const char* noExpr);
// The condition of a COND or WHILE chunk once it is planned (from its second
// run), for a loop that evaluates it on every pass; null before and for a
// chunk without one. While nothing is traced, evaluating it is running the tag.
class ConditionPlan* PlannedCondition(const TagCall& call);
// ELSE: the flag becomes its EXPR's value, or true without one.
bool ElseTag(Interpreter& interp, const TagCall& call, bool* flag);

void IncludeTag(Interpreter& interp, const TagCall& call);
void GetTag(Interpreter& interp, const TagCall& call);
void CreateTag(Interpreter& interp, const TagCall& call);

}  // namespace kwl
