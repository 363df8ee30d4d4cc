// The XML module's tag: XPATH, whose rows the loop runs.
#pragma once

#include "core/scope.h"
#include "interp/dispatch.h"

namespace kwl {

// Parses the tag's document (or takes the enclosing loop's node) and fills
// `block` with a row per selected node; true when velerr is 0 afterwards.
bool XPathTag(Interpreter& interp, const TagCall& call, Block& block, bool* singlePass);
// Fills `attributes` (the XML2attr table) from the node of `rows`' current row.
void XPathAttributes(Interpreter& interp, Block& rows, DATable& attributes);

// XPATH's rows for the loop: XPathTag fills them, the hooks keep the GLOBAL
// counters, push each pass's XML2attr block and release the document.
extern const RowSource kXpathRows;

// Allocations of libxml2 refused so far for the run's memory limit. libxml2
// may hand back a partial document or result after one, which the tag
// must then not use.
unsigned long XmlMemoryRefusals();

// Fills the slot of the XPATH tag (the module's registration).
void RegisterXmlTags(TagRegistry& tags);

}  // namespace kwl
