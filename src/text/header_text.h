// Text that goes into a response header line or a line of its own: a
// request value there must never end the line or the header block.
#pragma once

#include <string>
#include <string_view>

namespace kwl {

// `text` without carriage returns, line feeds and zero bytes.
inline std::string WithoutLineBreaks(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    if (c != '\r' && c != '\n' && c != '\0') out += c;
  }
  return out;
}

}  // namespace kwl
