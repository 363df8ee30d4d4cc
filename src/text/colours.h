// Colours of PDF and PICT attributes: "#RRGGBB" or one of sixteen names, as 0xRRGGBB.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "text/text_log.h"

namespace kwl {

// A text holding "#" is read as hexadecimal from its second character (at
// most 0xFFFFFF); any other is a colour name in any case. An unknown name
// is traced and gives black.
uint32_t ReadColour(TextLog& log, std::string_view text);

// The colour as three PDF components "r g b", each a fraction of 255 with two decimals.
std::string ColourComponents(uint32_t colour);

}  // namespace kwl
