// Which scope receives a tag's result: the SESSION, GLOBAL, LOCAL, NAME and RETURN attributes, and
// SCOPE.
#pragma once

#include "core/scope.h"
#include "interp/interpreter.h"
#include "page/attributes.h"

namespace kwl {

// The first of SESSION, GLOBAL, LOCAL, NAME, RETURN that the tag has decides
// the scope; `*nameAttribute` gets that attribute (its value, substituted,
// names the variable). Null when the tag has none of them. SESSION also
// marks the session as changed.
Scope* TargetScope(Interpreter& interp, AttributeList& attributes, Variable** nameAttribute);
Scope* TargetScope(Interpreter& interp, const AttributeList& attributes,
                   const Variable** nameAttribute);

// The naming attributes, by the precedence TargetScope gives them.
enum class TargetKind { kNone, kSession, kGlobal, kLocal, kName, kReturn };
TargetKind TargetKindOf(const AttributeList& attributes, const Variable** nameAttribute);
// The scope TargetScope gives a tag of that kind without SCOPE.
Scope* TargetScopeOf(Interpreter& interp, TargetKind kind);

// The block named by the SCOPE attribute, else the topmost block that is
// not a result block, else GLOBAL. Result blocks are never chosen: their
// variables vanish with the loop.
Scope* LocalScope(Interpreter& interp, const AttributeList& attributes);

}  // namespace kwl
