// Loadable modules: the subsystems that need a heavy library, loaded on first use.
#pragma once

#include <string>
#include <string_view>
#include <unordered_map>

namespace kwl {

struct Process;

// Handles of the modules loaded so far, by name.
struct ModuleTable {
  std::unordered_map<std::string, void*> handles;
  std::string directory;  // where the modules are: the executable's directory
  ~ModuleTable();
};

// The file of a module: kwl_<name>.so next to the executable.
std::string ModulePath(Process& proc, std::string_view module);
// A symbol of a module, loading the module on first use; null with a
// readable `error` when the module or the symbol is missing.
void* ModuleSymbol(Process& proc, std::string_view module, const char* symbol, std::string* error);

}  // namespace kwl
