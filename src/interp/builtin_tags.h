// Tags the loop handles itself: the response start, HEAD, comments, AUTH, NOPARSE and </SCOPE>.
#pragma once

#include <cstddef>
#include <string_view>

#include "interp/dispatch.h"
#include "interp/interpreter.h"

namespace kwl {

// <HTML, <!DOCTYPE and <?XML: the Content-type header once, then the chunk.
void HtmlTag(Interpreter& interp, const TagCall& call);
void XmlTag(Interpreter& interp, const TagCall& call);
void HeadTag(Interpreter& interp, const TagCall& call);
// Comments are skipped whether executed or not; only executed ones are kept.
size_t CommentTag(Interpreter& interp, const TagCall& call);
void AuthTag(Interpreter& interp, const TagCall& call);
size_t NoparseTag(Interpreter& interp, const TagCall& call);
void ScopeEndTag(Interpreter& interp, const TagCall& call);

}  // namespace kwl
