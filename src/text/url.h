// URL decoding of request parameters and of the URLDECODE operation.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace kwl {

// Decodes "+" and "%xx" in place ("%0D" is dropped); returns the new length.
size_t UrlDecode(std::string& text);
uint8_t HexPairValue(char high, char low);

}  // namespace kwl
