// Format operations over the date converter and the SVG path reader: DATETIME and PATHSVG2PDF.
#include "tags/dates.h"
#include "tags/format_ops.h"
#include "text/svg_path.h"

namespace kwl {

int FormatDateTime(FormatCall& call) {
  std::string input = FormatInput(call);
  std::string format = OtherAttribute(call, "FORMAT");
  std::string lang = OtherAttribute(call, "LANG");
  std::string out;
  int code = DateConvert(call.interp.proc, input, format, lang, out);
  if (code != 0) ReportError(call.interp, code, "ERROR in DATETIME format or conversion");
  VarSet(FormatTarget(call), out);
  return code;
}

int FormatPathSvgToPdf(FormatCall& call) {
  std::string out;
  SvgPathToPdf(call.interp.proc, FormatInput(call), out);
  VarSet(FormatTarget(call), out);
  return CurrentError(call.interp);
}

}  // namespace kwl
