// What a loadable module (kwl_<name>.so) exports: one versioned entry,
// `extern "C" const kwl::ModuleEntry* kwl_module()`.
#pragma once

namespace kwl {

struct TagRegistry;
struct Interpreter;

// Raised whenever this record or what its functions receive changes shape.
constexpr int kModuleAbi = 1;
constexpr const char* kModuleEntrySymbol = "kwl_module";

struct ModuleEntry {
  int abi;           // kModuleAbi of the build the module came from
  const char* name;  // must match the file's name
  // Fills the slots of the module's tags (null for a module without tags).
  void (*registerTags)(TagRegistry& tags);
  // Once, when the module is loaded (library set-up); false: the module is unusable.
  bool (*processStart)();
  // Once, when the process ends.
  void (*processEnd)();
  // After every page run: ends what the run left open.
  void (*runEnd)(Interpreter& interp);
  // The version number of the library the module wraps, or null.
  int (*libraryVersion)();
};

using ModuleEntryFunction = const ModuleEntry* (*)();

}  // namespace kwl
