// Name resolution across the scope stack: result columns, variables, then the environment.
#pragma once

#include <string>
#include <string_view>

#include "core/process.h"

namespace kwl {

// Appends the value of `name` (or, in name mode, the name of what answers)
// to `out`; false when nothing knows the name.
bool ResolveName(Process& proc, std::string_view name, bool nameMode, std::string& out);
// The variable that ResolveName reads for `name`; null when a result column,
// the environment or nothing answers.
Variable* ResolveVariable(Process& proc, std::string_view name);

// A name whose variable is looked up once and remembered while no scope
// changes shape (gScopeShape).
struct CachedName {
  explicit CachedName(std::string_view text);
  std::string name;
  int32_t number;      // its leading number, which also finds a variable by position
  uint64_t shape = 0;  // the count the lookup was made at; 0: never made
  Variable* var = nullptr;
};
// The variable that ResolveVariable would give for the name.
Variable* ResolveAndCache(Process& proc, CachedName& cached);
inline Variable* ResolveCached(Process& proc, CachedName& cached) {
  return cached.shape == gScopeShape ? cached.var : ResolveAndCache(proc, cached);
}

// The block that receives a function's returned values: below the topmost
// function block, the first block that is not a result block.
Block* BlockReturnTarget(Process& proc);

}  // namespace kwl
