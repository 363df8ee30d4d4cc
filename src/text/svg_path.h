// SvgPathToPdf: SVG path data turned into PDF path operators for the PDF tag's WRIT.
#pragma once

#include <string>
#include <string_view>

#include "text/text_log.h"

namespace kwl {

// Appends the PDF operators ("x y m ", "x y l ", "... c ", "... y ") for
// the commands of `path` to `out`. Arcs (A) and smooth quadratics (T) are
// traced as unavailable and drawn as a straight line to their end point.
void SvgPathToPdf(TextLog& log, std::string_view path, std::string& out);

}  // namespace kwl
