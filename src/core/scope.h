// Scope, blocks and the scope stack: where page variables live and are looked up.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "core/datable.h"
#include "core/variable.h"

namespace kwl {

// Counts the changes that may change what a name resolves to: a variable
// added to or removed from any scope, a scope gone, a block pushed, a result
// table's columns or rows. A lookup remembered with the count it was made at
// holds while the count is the same (see CachedName).
extern uint64_t gScopeShape;
inline void ScopeShapeChanged() {
  ++gScopeShape;
}

// Named Variables in insertion order. Lookup is a hash lookup that yields
// the first Variable added under a name; duplicates are allowed (ScopeAdd
// does not look) and become visible in turn as earlier ones are removed.
class Scope {
 public:
  Scope() = default;
  ~Scope() { ScopeShapeChanged(); }
  Scope(const Scope&) = delete;
  Scope& operator=(const Scope&) = delete;

  Variable* Find(std::string_view name) const;
  Variable* Add(VariablePtr var);
  bool Remove(std::string_view name);
  void Clear();
  size_t Count() const { return vars_.size(); }
  // The i-th Variable in insertion order, 0-based; null past the end.
  Variable* Nth(size_t i) const { return i < vars_.size() ? vars_[i].get() : nullptr; }

  auto begin() const { return vars_.begin(); }
  auto end() const { return vars_.end(); }

 private:
  struct Hash {
    using is_transparent = void;
    size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
  };
  std::vector<VariablePtr> vars_;
  std::unordered_map<std::string, Variable*, Hash, std::equal_to<>> first_;
};

inline Variable* ScopeFind(const Scope& scope, std::string_view name) {
  return scope.Find(name);
}
inline Variable* ScopeAdd(Scope& scope, VariablePtr var) {
  return scope.Add(std::move(var));
}
inline bool ScopeRemove(Scope& scope, std::string_view name) {
  return scope.Remove(name);
}
Variable* ScopeGetOrCreate(Scope& scope, std::string_view name);
Variable* ScopeSet(Scope& scope, std::string_view name, std::string_view data);
Variable* ScopeSetInt(Scope& scope, std::string_view name, int32_t value);
inline Variable* ScopeSetString(Scope& scope, std::string_view name, std::string_view text) {
  return ScopeSet(scope, name, text.substr(0, text.find('\0')));
}
bool ScopeGetInt(const Scope& scope, std::string_view name, int32_t* value);
// At most 255 characters of the variable's text.
bool ScopeGetText(const Scope& scope, std::string_view name, std::string* out);
inline void ScopeClear(Scope& scope) {
  scope.Clear();
}

// Block kinds.
constexpr char kBlockConfig = 'C';
constexpr char kBlockSession = 'S';
constexpr char kBlockGlobal = 'G';
constexpr char kBlockData = 'D';
constexpr char kBlockFunction = 'F';
constexpr char kBlockLocal = 'L';

struct Block {
  std::string name;
  char kind = kBlockGlobal;
  Scope vars;
  DATable rows;
  int32_t currentRow = 0;
};

// The stack of blocks; index 0 is the bottom.
struct ScopeStack {
  std::vector<std::unique_ptr<Block>> blocks;
  uint32_t nameSeed = 0x2545F491u;  // for generated block names
};

// A new block; without a name it is called "<kind>_<number>".
std::unique_ptr<Block> BlockNew(ScopeStack& stack, std::string_view name, char kind);
// Pushes a block and returns the stack's new size (its position + 1).
size_t BlockPush(ScopeStack& stack, std::unique_ptr<Block> block);
// Pops the block pushed when BlockPush returned `pushed`, and frees it.
void BlockPop(ScopeStack& stack, size_t pushed);
Block* BlockFind(const ScopeStack& stack, std::string_view name);
Block* BlockTopOfKind(const ScopeStack& stack, char kind);
Block* BlockTopNotOfKind(const ScopeStack& stack, char kind);
inline Block* BlockTop(const ScopeStack& stack) {
  return stack.blocks.empty() ? nullptr : stack.blocks.back().get();
}

}  // namespace kwl
