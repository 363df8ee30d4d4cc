// The module host: loads the subsystems that need a heavy library on first
// use. It is the only caller of dlopen.
#pragma once

#include <string>
#include <string_view>
#include <unordered_map>

#include "core/module_entry.h"

namespace kwl {

struct Process;

struct LoadedModule {
  void* handle = nullptr;
  const ModuleEntry* entry = nullptr;
};

// The modules loaded so far, by name.
struct ModuleTable {
  std::unordered_map<std::string, LoadedModule> loaded;
  std::string directory;  // where the modules are: the executable's directory
  ~ModuleTable();
};

// The file of a module: kwl_<name>.so next to the executable.
std::string ModulePath(Process& proc, std::string_view module);
// Loads a module once and checks its entry; null with a readable `error`
// when it cannot be used. `quiet` keeps the trace out of it.
const ModuleEntry* ModuleLoad(Process& proc, std::string_view module, std::string* error,
                              bool quiet = false);
// A symbol a module exports besides its entry, loading the module first.
void* ModuleSymbol(Process& proc, std::string_view module, const char* symbol, std::string* error);
// The version number of the library a module wraps (0 when unknown), loaded quietly.
int ModuleLibraryVersion(Process& proc, std::string_view module);
// The run-end hooks of every loaded module.
void ModulesRunEnd(Process& proc, Interpreter& interp);
// The process-end hooks of every loaded module.
void ModulesEnd(Process& proc);

}  // namespace kwl
