// Base64 (RFC 4648, standard alphabet, "=" padding), one line without breaks.
#pragma once

#include <string>
#include <string_view>

#include "text/text_log.h"

namespace kwl {

// Appends the encoding of every byte of `bytes`, zero bytes included.
void Base64Encode(std::string_view bytes, std::string& out);

// Appends the decoded bytes of `text` to `out`. Decoding ends at the first
// "=" or at the end of the text; characters outside the alphabet (line ends
// included) are skipped and traced. A partial group yields its whole bytes
// at "=" and nothing when the text ends without one; "=" after a complete
// group adds nothing.
void Base64Decode(TextLog& log, std::string_view text, std::string& out);

}  // namespace kwl
