#include "core/modules.h"

#include <dlfcn.h>
#include <unistd.h>

#include "core/process.h"
#include "core/trace.h"

namespace kwl {

namespace {

std::string ExecutableDirectory() {
  char path[4096];
  ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0) return ".";
  std::string_view self(path, static_cast<size_t>(n));
  size_t slash = self.rfind('/');
  return slash == std::string_view::npos ? "." : std::string(self.substr(0, slash));
}

// The entry of an opened module when it is one this build can use.
const ModuleEntry* UsableEntry(void* handle, std::string_view module, std::string* why) {
  auto entryFunction = reinterpret_cast<ModuleEntryFunction>(dlsym(handle, kModuleEntrySymbol));
  const ModuleEntry* entry = entryFunction ? entryFunction() : nullptr;
  if (!entry) {
    *why = "no module entry";
  } else if (entry->abi != kModuleAbi || module != entry->name) {
    *why = "built for another interface";
  } else if (entry->processStart && !entry->processStart()) {
    *why = "its library did not start";
  } else {
    return entry;
  }
  return nullptr;
}

}  // namespace

ModuleTable::~ModuleTable() {
  // Modules stay mapped until the process ends: handlers and data they
  // registered may still be referenced while the process is torn down.
}

std::string ModulePath(Process& proc, std::string_view module) {
  if (proc.engine->modules.directory.empty())
    proc.engine->modules.directory = ExecutableDirectory();
  return proc.engine->modules.directory + "/kwl_" + std::string(module) + ".so";
}

const ModuleEntry* ModuleLoad(Process& proc, std::string_view module, std::string* error,
                              bool quiet) {
  std::string key(module);
  if (auto found = proc.engine->modules.loaded.find(key);
      found != proc.engine->modules.loaded.end()) {
    return found->second.entry;
  }
  std::string path = ModulePath(proc, module);
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  std::string why;
  const ModuleEntry* entry = nullptr;
  if (!handle) {
    const char* reason = dlerror();
    why = reason ? reason : "not loaded";
  } else {
    entry = UsableEntry(handle, module, &why);
  }
  if (!entry) {
    if (!quiet) Trace(proc, "Module %s: %s\n", path.c_str(), why.c_str());
    if (error) *error = "ERROR: Module " + key + " not available";
    if (handle) dlclose(handle);
    return nullptr;
  }
  if (!quiet) Trace(proc, "Module %s loaded\n", path.c_str());
  proc.engine->modules.loaded[key] = LoadedModule{handle, entry};
  return entry;
}

void* ModuleSymbol(Process& proc, std::string_view module, const char* symbol, std::string* error) {
  if (!ModuleLoad(proc, module, error)) return nullptr;
  void* found = dlsym(proc.engine->modules.loaded[std::string(module)].handle, symbol);
  if (!found && error) *error = "ERROR: Module " + std::string(module) + " has no " + symbol;
  return found;
}

int ModuleLibraryVersion(Process& proc, std::string_view module) {
  const ModuleEntry* entry = ModuleLoad(proc, module, nullptr, true);
  return entry && entry->libraryVersion ? entry->libraryVersion() : 0;
}

void ModulesRunEnd(Process& proc, Interpreter& interp) {
  for (auto& [name, module] : proc.engine->modules.loaded) {
    if (module.entry->runEnd) module.entry->runEnd(interp);
  }
}

void ModulesEnd(Process& proc) {
  for (auto& [name, module] : proc.engine->modules.loaded) {
    if (module.entry->processEnd) module.entry->processEnd();
  }
}

}  // namespace kwl
