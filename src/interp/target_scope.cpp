#include "interp/target_scope.h"

#include <string>

#include "core/resolve.h"
#include "interp/substitute.h"

namespace kwl {

namespace {

Scope* GlobalScope(Interpreter& interp) {
  if (interp.global) return interp.global;
  Block* global = BlockTopOfKind(interp.stack, kBlockGlobal);
  return global ? &global->vars : nullptr;
}

Scope* SessionScope(Interpreter& interp) {
  interp.sessionChanged = true;
  if (interp.session) return interp.session;
  Block* session = BlockTopOfKind(interp.stack, kBlockSession);
  return session ? &session->vars : GlobalScope(interp);
}

Scope* ReturnScope(Interpreter& interp) {
  Block* target = BlockReturnTarget(interp.proc);
  return target ? &target->vars : GlobalScope(interp);
}

// The first block from the bottom with this exact name that may receive variables.
Block* NamedBlock(ScopeStack& stack, std::string_view name) {
  for (auto& block : stack.blocks) {
    if (block->name == name && block->kind != kBlockData) return block.get();
  }
  return nullptr;
}

// For the attributes of a tag and for shared, read-only ones alike.
template <class List, class Attribute>
Scope* FirstTargetScope(Interpreter& interp, List& attributes, Attribute** nameAttribute) {
  if ((*nameAttribute = FindAttribute(attributes, "SESSION"))) return SessionScope(interp);
  if ((*nameAttribute = FindAttribute(attributes, "GLOBAL"))) return GlobalScope(interp);
  if ((*nameAttribute = FindAttribute(attributes, "LOCAL"))) return LocalScope(interp, attributes);
  if ((*nameAttribute = FindAttribute(attributes, "NAME"))) return LocalScope(interp, attributes);
  if ((*nameAttribute = FindAttribute(attributes, "RETURN"))) return ReturnScope(interp);
  return nullptr;
}

}  // namespace

Scope* LocalScope(Interpreter& interp, const AttributeList& attributes) {
  if (const Variable* scope = FindAttribute(attributes, "SCOPE")) {
    std::string name;
    Substitute(interp, VarRawText(*scope), name);
    if (Block* block = NamedBlock(interp.stack, name)) return &block->vars;
  }
  if (Block* block = BlockTopNotOfKind(interp.stack, kBlockData)) return &block->vars;
  return GlobalScope(interp);
}

Scope* TargetScope(Interpreter& interp, AttributeList& attributes, Variable** nameAttribute) {
  return FirstTargetScope(interp, attributes, nameAttribute);
}

Scope* TargetScope(Interpreter& interp, const AttributeList& attributes,
                   const Variable** nameAttribute) {
  return FirstTargetScope(interp, attributes, nameAttribute);
}

}  // namespace kwl
