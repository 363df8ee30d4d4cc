// The PDF tag: documents built across tag calls and written at their close.
#pragma once

#include "interp/dispatch.h"

namespace kwl {

void PdfTag(Interpreter& interp, const TagCall& call);

// Fills the slot of the PDF tag (the module's registration).
void RegisterPdfTags(TagRegistry& tags);

}  // namespace kwl
