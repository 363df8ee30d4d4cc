#include "text/url.h"

#include <algorithm>

namespace kwl {

size_t UrlDecode(std::string& text) {
  std::replace(text.begin(), text.end(), '+', ' ');
  size_t out = 0;
  size_t in = 0;
  while (in < text.size()) {
    // A "%" without two characters behind it is kept as written.
    if (text[in] != '%' || in + 2 >= text.size()) {
      text[out++] = text[in++];
      continue;
    }
    // Encoded carriage returns written as %0D are dropped; %0d still decodes.
    if (text[in + 1] != '0' || text[in + 2] != 'D') {
      text[out++] = static_cast<char>(HexPairValue(text[in + 1], text[in + 2]));
    }
    in += 3;
  }
  text.resize(out);
  return out;
}

uint8_t HexPairValue(char high, char low) {
  auto digit = [](char c) {
    int v = static_cast<signed char>(c);
    return v < 'A' ? v - '0' : (v & ~0x20) - 55;
  };
  return static_cast<uint8_t>(16 * digit(high) + digit(low));
}

}  // namespace kwl
