#include "interp/numeric.h"

namespace kwl {

bool IsNumericText(std::string_view text, bool* hasPoint) {
  bool point = false, digit = false;
  for (char c : text) {
    if (c >= '0' && c <= '9') {
      digit = true;
    } else if (c == '.') {
      point = true;
    } else if (c != '+' && c != '-' && c != '/' && c != '*' && c != ' ' && c != '(' && c != ')' &&
               c != '%') {
      if (hasPoint) *hasPoint = point;
      return false;
    }
  }
  if (hasPoint) *hasPoint = point;
  return digit;
}

}  // namespace kwl
