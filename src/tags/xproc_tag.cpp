// <XPROC>: a row per element of a text (a file or a value), listed from its
// top level or selected by a slash path. It reads the text with its own
// scanner and so needs no XML library (and no module).
#include <string>

#include "core/paths.h"
#include "core/trace.h"
#include "interp/dispatch.h"
#include "interp/substitute.h"
#include "tags/xproc_scan.h"

namespace kwl {

namespace {

bool XProcTag(Interpreter& interp, const TagCall& call, Block& block, bool* /*singlePass*/) {
  const AttributeList& attributes = TagAttributes(interp, call);
  ReportError(interp, 0, "");
  const Variable* select = FindAttribute(attributes, "SELECT");
  std::string path = select ? Substituted(interp, VarRawText(*select)) : std::string();
  std::string text;
  const Variable* file = FindAttribute(attributes, "FILE");
  const Variable* value = FindAttribute(attributes, "VALUE");
  if (file) {
    std::string resolved = ResolvePath(interp.proc, Substituted(interp, VarRawText(*file)));
    Trace(interp.proc, "Parse file %s\n", resolved.c_str());
    if (!LoadWholeFile(interp.proc, resolved, &text) || text.empty()) {
      ReportError(interp, 2, "ERROR: Can't parse  FILE defined in tag XPROC");
      ReportError(interp, 0, "");
      return false;
    }
  } else if (value) {
    text = Substituted(interp, VarRawText(*value));
  } else {
    ReportError(interp, 1, "ERROR: No FILE or VALUE defined in tag XPROC");
  }
  // The messages above stay in the trace only: a page sees velerr 0.
  ReportError(interp, 0, "");
  if (select) {
    XProcSelect(interp.proc, text, path, block.rows);
  } else {
    XProcList(interp.proc, text, block.rows);
  }
  return true;
}

void XProcStarted(Interpreter& interp, Block& block) {
  ScopeSetInt(*interp.global, "xprocrowcount", static_cast<int32_t>(DARowCount(block.rows)));
  ScopeSetInt(*interp.global, "xproccolcount", DAColumnCount(block.rows));
  ScopeSetInt(block.vars, "xprocnumrow", block.currentRow + 1);
}

void XProcBeforePass(Interpreter& interp, Block& block) {
  TRACE(interp.proc, "Level %d row = %d/%d\n", interp.proc.nesting, block.currentRow,
        static_cast<int>(DARowCount(block.rows)));
}

// After the pass over row r the counter names row r + 2 (1-based, the next one).
void XProcAfterPass(Interpreter&, Block& block) {
  ScopeSetInt(block.vars, "xprocnumrow", block.currentRow + 2);
}

}  // namespace

extern const RowSource kXprocRows{"XML",           XProcTag,       XProcStarted,
                                  XProcBeforePass, XProcAfterPass, nullptr};

}  // namespace kwl
