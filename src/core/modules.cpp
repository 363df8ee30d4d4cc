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

}  // namespace

ModuleTable::~ModuleTable() {
  // Modules stay mapped until the process ends: handlers and data they
  // registered may still be referenced while the process is torn down.
}

std::string ModulePath(Process& proc, std::string_view module) {
  if (proc.modules.directory.empty()) proc.modules.directory = ExecutableDirectory();
  return proc.modules.directory + "/kwl_" + std::string(module) + ".so";
}

void* ModuleSymbol(Process& proc, std::string_view module, const char* symbol, std::string* error) {
  std::string key(module);
  void*& handle = proc.modules.handles[key];
  if (!handle) {
    std::string path = ModulePath(proc, module);
    handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
      const char* why = dlerror();
      Trace(proc, "Module %s: %s\n", path.c_str(), why ? why : "not loaded");
      if (error) *error = "ERROR: Module " + key + " not available";
      proc.modules.handles.erase(key);
      return nullptr;
    }
    Trace(proc, "Module %s loaded\n", path.c_str());
  }
  void* found = dlsym(handle, symbol);
  if (!found && error) *error = "ERROR: Module " + key + " has no " + symbol;
  return found;
}

}  // namespace kwl
