#include "interp/target_scope.h"

#include <string>
#include <utility>

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

constexpr std::pair<const char*, TargetKind> kNamingAttributes[] = {
    {"SESSION", TargetKind::kSession}, {"GLOBAL", TargetKind::kGlobal},
    {"LOCAL", TargetKind::kLocal},     {"NAME", TargetKind::kName},
    {"RETURN", TargetKind::kReturn},
};

// For the attributes of a tag and for shared, read-only ones alike.
template <class List, class Attribute>
TargetKind FirstTargetKind(List& attributes, Attribute** nameAttribute) {
  for (const auto& [name, kind] : kNamingAttributes) {
    if ((*nameAttribute = FindAttribute(attributes, name))) return kind;
  }
  return TargetKind::kNone;
}

template <class List, class Attribute>
Scope* FirstTargetScope(Interpreter& interp, List& attributes, Attribute** nameAttribute) {
  TargetKind kind = FirstTargetKind(attributes, nameAttribute);
  if (kind == TargetKind::kLocal || kind == TargetKind::kName)
    return LocalScope(interp, attributes);
  return TargetScopeOf(interp, kind);
}

}  // namespace

TargetKind TargetKindOf(const AttributeList& attributes, const Variable** nameAttribute) {
  return FirstTargetKind(attributes, nameAttribute);
}

Scope* TargetScopeOf(Interpreter& interp, TargetKind kind) {
  switch (kind) {
    case TargetKind::kSession:
      return SessionScope(interp);
    case TargetKind::kGlobal:
      return GlobalScope(interp);
    case TargetKind::kLocal:
    case TargetKind::kName:
      if (Block* block = BlockTopNotOfKind(interp.stack, kBlockData)) return &block->vars;
      return GlobalScope(interp);
    case TargetKind::kReturn:
      return ReturnScope(interp);
    case TargetKind::kNone:
      break;
  }
  return nullptr;
}

Scope* LocalScope(Interpreter& interp, const AttributeList& attributes) {
  if (const Variable* scope = FindAttribute(attributes, "SCOPE")) {
    std::string name;
    Substitute(interp, VarRawText(*scope), name);
    if (Block* block = NamedBlock(interp.stack, name)) return &block->vars;
  }
  return TargetScopeOf(interp, TargetKind::kLocal);
}

Scope* TargetScope(Interpreter& interp, AttributeList& attributes, Variable** nameAttribute) {
  return FirstTargetScope(interp, attributes, nameAttribute);
}

Scope* TargetScope(Interpreter& interp, const AttributeList& attributes,
                   const Variable** nameAttribute) {
  return FirstTargetScope(interp, attributes, nameAttribute);
}

}  // namespace kwl
