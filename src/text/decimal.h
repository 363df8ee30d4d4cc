// ParseDecimal: the integer a text begins with, as the C library reads it.
#pragma once

#include <cstdint>
#include <string_view>

namespace kwl {

// Reads a decimal integer the way VarInt does: blanks, sign, digits; the
// first other byte ends it; saturates at the 32-bit limits.
int32_t ParseDecimal(std::string_view text);

}  // namespace kwl
