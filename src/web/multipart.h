// Multipart form bodies: the parts of a multipart/form-data POST into page variables.
#pragma once

#include <string>
#include <string_view>

#include "core/process.h"
#include "core/scope.h"

namespace kwl {

// The boundary a multipart content type names (quotes removed); empty when it names none.
std::string MultipartBoundary(std::string_view contentType);

// Sets a variable per part (and three more per file) in `globals`, skipping names in
// `session`; returns how many variables were made.
int DecodeMultipartBody(Process& proc, std::string_view body, std::string_view boundary,
                        Scope& globals, const Scope* session);

}  // namespace kwl
