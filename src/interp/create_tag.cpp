// CREATE: makes one directory (not its parents).
#include <sys/stat.h>

#include <cerrno>
#include <string>

#include "core/paths.h"
#include "interp/control_tags.h"
#include "interp/substitute.h"
#include "page/attributes.h"

namespace kwl {

namespace {

constexpr size_t kMaxDirName = 255;

// The system's error number; a name the system would read differently is refused first.
int MakeDirectory(const std::string& path) {
  if (path.size() > kMaxDirName) return ENAMETOOLONG;
  if (path.find('\0') != std::string::npos) return EINVAL;
  return mkdir(path.c_str(), 0777) == 0 ? 0 : errno;
}

}  // namespace

void CreateTag(Interpreter& interp, const TagCall& call) {
  ReportError(interp, 0, "");
  AttributeList attributes = TagAttributes(interp, call);
  Variable* dir = FindAttribute(attributes, "DIR");
  if (!dir) {
    ReportError(interp, 1, "ERROR: No DIR defined in tag CREATE.");
    return;
  }
  std::string name = Substituted(interp, VarText(*dir));
  if (name.empty()) return;
  std::string path = ResolvePath(interp.proc, name);
  if (int error = MakeDirectory(path)) {
    ReportError(interp, 2, "ERROR: Can't create dir " + path + " (" + std::to_string(error) + ")");
  }
}

}  // namespace kwl
