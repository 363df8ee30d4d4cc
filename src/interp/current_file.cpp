#include "interp/current_file.h"

#include <unistd.h>

#include <string>

#include "core/paths.h"

namespace kwl {

void SetCurrentFileVariables(Interpreter& interp) {
  if (!interp.currentfile || !interp.currentdir) return;
  VarSet(*interp.currentfile, "");
  VarSet(*interp.currentdir, "");
  std::string base = BaseDir(interp.proc);
  std::string page = interp.proc.pagePath;
  // A page named relative to the working directory (kwl page.kwl) is
  // placed there first, as an absolute path would be.
  if (!page.empty() && page[0] != '/') {
    char cwd[4096];
    if (getcwd(cwd, sizeof cwd)) page = std::string(cwd) + "/" + page;
  }
  if (base.size() > page.size() || page.compare(0, base.size(), base) != 0) return;
  std::string_view relative = std::string_view(page).substr(base.size());
  size_t slash = relative.rfind('/');
  if (slash == std::string_view::npos) {
    VarSet(*interp.currentdir, relative);
  } else {
    VarSet(*interp.currentfile, relative.substr(slash + 1));
    VarSet(*interp.currentdir, relative.substr(0, slash));
  }
}

}  // namespace kwl
