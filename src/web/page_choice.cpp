#include "web/page_choice.h"

#include <sys/stat.h>

#include <cstdlib>

#include "text/ascii.h"

namespace kwl {

namespace {

// True when `path` is this program's own file, reached through any link.
// The running program's file stays what it is for the life of the process
// (a new build installed at its path is another file), so it is looked up once.
bool IsThisProgram(const char* path) {
  static const struct stat self = [] {
    struct stat status {};
    if (stat("/proc/self/exe", &status) != 0) status.st_ino = 0;
    return status;
  }();
  struct stat script;
  return self.st_ino != 0 && stat(path, &script) == 0 && script.st_dev == self.st_dev &&
         script.st_ino == self.st_ino;
}

bool IsRegularFile(const std::string& path) {
  struct stat status;
  return stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode);
}

// ".kwl" unless CONFIG names the page extensions (comma-separated).
bool HasPageExtension(Process& proc, std::string_view name) {
  std::string extensions = ".kwl";
  Block* config = BlockTopOfKind(proc.stack, kBlockConfig);
  if (Variable* configured = config ? config->vars.Find("velpageextensions") : nullptr) {
    extensions = VarText(*configured);
  }
  std::string_view rest = extensions;
  while (!rest.empty()) {
    size_t comma = rest.find(',');
    std::string_view extension = rest.substr(0, comma);
    if (!extension.empty() && name.ends_with(extension)) return true;
    if (comma == std::string_view::npos) break;
    rest.remove_prefix(comma + 1);
  }
  return false;
}

// A component a visitor may name: not hidden (".", ".." and dot files) and
// not the interpreter's own state, whose files hold request values.
bool IsPublicComponent(std::string_view component) {
  return !component.starts_with('.') && !AsciiEqualsNoCase(component, "kwlsession") &&
         !AsciiEqualsNoCase(component, "kwldebug");
}

}  // namespace

// A script the web server chose that is not this program is the page
// (lighttpd's cgi.assign, fcgiwrap, handlers), and any path information
// stays path information; the translated path is the page only when the
// script is this program (Action and ScriptAlias layouts). The trace is
// named after the script's URL path or after the path information.
void ChooseCgiPage(Process& proc) {
  const char* script = Env(proc, "SCRIPT_FILENAME");
  const char* translated = Env(proc, "PATH_TRANSLATED");
  const char* pathInfo = Env(proc, "PATH_INFO");
  proc.pagePath.clear();
  if (script && *script && !IsThisProgram(script)) {
    proc.pagePath = script;
    pathInfo = Env(proc, "SCRIPT_NAME");
  } else if (translated) {
    proc.pagePath = translated;
  }
  proc.pathInfo = pathInfo ? pathInfo : proc.pagePath;
}

std::string PageParameter(const Scope& global) {
  Variable* page = global.Find("page");
  return page ? VarText(*page).substr(0, 255) : std::string();
}

bool PageParameterPath(Process& proc, std::string_view value, std::string* path) {
  for (char c : value) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) return false;
  }
  std::string_view rest = value;
  while (!rest.empty()) {
    size_t slash = rest.find('/');
    std::string_view component = rest.substr(0, slash);
    if (!component.empty() && !IsPublicComponent(component)) return false;
    if (slash == std::string_view::npos) break;
    rest.remove_prefix(slash + 1);
  }
  if (!HasPageExtension(proc, value)) return false;
  *path =
      (value.empty() || value[0] == '/') ? ".." + std::string(value) : "../" + std::string(value);
  return IsRegularFile(*path);
}

}  // namespace kwl
