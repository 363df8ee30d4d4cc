#include "core/scope.h"

#include <algorithm>
#include <cstdio>

namespace kwl {

uint64_t gScopeShape = 1;

Variable* Scope::Find(std::string_view name) const {
  auto it = first_.find(name);
  return it == first_.end() ? nullptr : it->second;
}

Variable* Scope::Add(VariablePtr var) {
  Variable* raw = var.get();
  ScopeShapeChanged();
  first_.try_emplace(raw->name, raw);
  vars_.push_back(std::move(var));
  return raw;
}

bool Scope::Remove(std::string_view name) {
  auto found = std::find_if(vars_.begin(), vars_.end(),
                            [&](const VariablePtr& v) { return v->name == name; });
  if (found == vars_.end() || (*found)->pinned) return false;
  ScopeShapeChanged();
  auto index = first_.find(name);
  // The removed one was the first of its name: the next one of that name becomes visible.
  auto next =
      std::find_if(found + 1, vars_.end(), [&](const VariablePtr& v) { return v->name == name; });
  if (next == vars_.end()) {
    first_.erase(index);
  } else {
    index->second = next->get();
  }
  vars_.erase(found);
  return true;
}

void Scope::Clear() {
  ScopeShapeChanged();
  first_.clear();
  vars_.clear();
}

Variable* ScopeGetOrCreate(Scope& scope, std::string_view name) {
  if (Variable* var = scope.Find(name.substr(0, kMaxNameLength))) return var;
  return scope.Add(VarNew(name));
}

Variable* ScopeSet(Scope& scope, std::string_view name, std::string_view data) {
  Variable* var = ScopeGetOrCreate(scope, name);
  VarSet(*var, data);
  return var;
}

Variable* ScopeSetInt(Scope& scope, std::string_view name, int32_t value) {
  Variable* var = ScopeGetOrCreate(scope, name);
  VarSetInt(*var, value);
  return var;
}

bool ScopeGetInt(const Scope& scope, std::string_view name, int32_t* value) {
  Variable* var = scope.Find(name);
  if (!var) return false;
  *value = VarInt(*var);
  return true;
}

bool ScopeGetText(const Scope& scope, std::string_view name, std::string* out) {
  out->clear();
  Variable* var = scope.Find(name);
  if (!var) return false;
  *out = VarCopyText(*var, 255);
  return true;
}

std::unique_ptr<Block> BlockNew(ScopeStack& stack, std::string_view name, char kind) {
  auto block = std::make_unique<Block>();
  block->kind = kind;
  if (!name.empty()) {
    block->name.assign(name.substr(0, kMaxNameLength));
  } else {
    // xorshift: generated names only need to be unlikely to repeat.
    stack.nameSeed ^= stack.nameSeed << 13;
    stack.nameSeed ^= stack.nameSeed >> 17;
    stack.nameSeed ^= stack.nameSeed << 5;
    char generated[32];
    std::snprintf(generated, sizeof generated, "%c_%d", kind,
                  static_cast<int>(stack.nameSeed & 0x7fff));
    block->name = generated;
  }
  return block;
}

size_t BlockPush(ScopeStack& stack, std::unique_ptr<Block> block) {
  ScopeShapeChanged();
  stack.blocks.push_back(std::move(block));
  return stack.blocks.size();
}

void BlockPop(ScopeStack& stack, size_t pushed) {
  if (pushed == 0 || pushed > stack.blocks.size()) return;
  stack.blocks.erase(stack.blocks.begin() + static_cast<long>(pushed - 1));
}

Block* BlockFind(const ScopeStack& stack, std::string_view name) {
  for (const auto& block : stack.blocks) {
    if (block->name == name) return block.get();
  }
  return nullptr;
}

Block* BlockTopOfKind(const ScopeStack& stack, char kind) {
  for (auto it = stack.blocks.rbegin(); it != stack.blocks.rend(); ++it) {
    if ((*it)->kind == kind) return it->get();
  }
  return nullptr;
}

Block* BlockTopNotOfKind(const ScopeStack& stack, char kind) {
  for (auto it = stack.blocks.rbegin(); it != stack.blocks.rend(); ++it) {
    if ((*it)->kind != kind) return it->get();
  }
  return nullptr;
}

}  // namespace kwl
