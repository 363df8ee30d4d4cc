// Tags the loop handles itself: the response start, HEAD, comments, AUTH, NOPARSE and </SCOPE>.
#pragma once

#include <cstddef>
#include <string_view>

#include "interp/dispatch.h"
#include "interp/interpreter.h"

namespace kwl {

// <HTML, <!DOCTYPE and <?XML: the Content-type header once, then the chunk.
void HtmlTag(Interpreter& interp, std::string_view chunk, const char* traceLine, const char* header);
void HeadTag(Interpreter& interp, std::string_view chunk);
size_t CommentTag(Interpreter& interp, const TagCall& call, bool executed);
void AuthTag(Interpreter& interp);
size_t NoparseTag(Interpreter& interp, const TagCall& call);
void ScopeEndTag(Interpreter& interp);

}  // namespace kwl
