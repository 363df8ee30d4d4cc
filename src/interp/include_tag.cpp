// INCLUDE: runs another page file in place (or copies it with OPTION noparse).
#include <sys/stat.h>

#include <string>

#include "core/paths.h"
#include "core/trace.h"
#include "interp/control_tags.h"
#include "interp/current_file.h"
#include "interp/output.h"
#include "interp/run_text.h"
#include "interp/substitute.h"
#include "page/attributes.h"
#include "page/page_cache.h"
#include "text/ascii.h"

namespace kwl {

namespace {

// Longest file name a page may name, after resolution.
constexpr size_t kMaxFileName = 255;

// Only a regular file can be included: a directory or a device would read
// as an empty or endless text rather than fail.
bool LoadIncluded(Process& proc, const std::string& path, std::string* text) {
  struct stat info;
  if (path.size() > kMaxFileName || path.find('\0') != std::string::npos) return false;
  if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
  return LoadWholeFile(proc, path, text);
}

void RunIncluded(Interpreter& interp, const std::string& path, int includeFlag) {
  SharedText compiled =
      path.size() <= kMaxFileName ? interp.pages.CompileFile(interp.proc, path) : nullptr;
  if (!compiled) {
    TRACE(interp.proc, "Can't open file: %s\n", path.c_str());
    ReportError(interp, 2, "FILE ERROR\n");
    return;
  }
  SourcePush(interp.proc, path);
  RunCompiled(interp, *compiled, includeFlag);
  SourcePop(interp.proc);
}

void CopyIncluded(Interpreter& interp, const std::string& path) {
  std::string text;
  if (!LoadIncluded(interp.proc, path, &text)) {
    TRACE(interp.proc, "ERROR: Can't open %s\n", path.c_str());
    return;
  }
  WriteOutput(interp, text);
}

bool Parsed(Interpreter& interp, AttributeList& attributes) {
  Variable* option = FindAttribute(attributes, "OPTION");
  return !option || !AsciiEqualsNoCase(Substituted(interp, VarText(*option)), "noparse");
}

}  // namespace

void IncludeTag(Interpreter& interp, const TagCall& call) {
  Process& proc = interp.proc;
  AttributeList attributes = TagAttributes(interp, call);
  Variable* file = FindAttribute(attributes, "FILE");
  if (!file) {
    ReportError(interp, 1, "ERROR: No FILE defined in tag INCLUDE");
    return;
  }
  std::string name = Substituted(interp, VarText(*file));
  if (name.empty()) return;
  bool parsed = Parsed(interp, attributes);
  std::string path = ResolvePath(proc, name);

  std::string saved = proc.pagePath;
  proc.pagePath = path;
  SetCurrentFileVariables(interp);
  const std::string stars(74, '*');
  TRACE(proc, "%s\n", stars.c_str());
  TRACE(proc, "INCLUDE FILE=%s\n", path.c_str());
  TRACE(proc, "%s\n", stars.c_str());

  if (parsed)
    RunIncluded(interp, path, call.includeFlag);
  else
    CopyIncluded(interp, path);

  proc.pagePath = saved;
  SetCurrentFileVariables(interp);
  TRACE(proc, "------------------------ END INCLUDE FILE=%s ------------------------\n",
        path.c_str());
  TRACE(proc, "************************ RETURN IN %s *******************************\n",
        saved.c_str());
}

}  // namespace kwl
