#include "interp/compare.h"

#include "core/trace.h"
#include "interp/arithmetic.h"
#include "interp/numeric.h"

namespace kwl {

namespace {

int Sign(int c) {
  return (c > 0) - (c < 0);
}

int CompareAsDoubles(Interpreter& interp, std::string_view a, std::string_view b) {
  bool errorA = false, errorB = false;
  double x = EvalNumber(interp, a, &errorA);
  double y = EvalNumber(interp, b, &errorB);
  TRACE(interp.proc, " (%f,%f) ", x, y);
  if (errorA || errorB) return int{errorB} - int{errorA};
  return x > y ? 1 : (x < y ? -1 : 0);
}

}  // namespace

int CompareValues(Interpreter& interp, std::string_view a, std::string_view b) {
  bool pointA = false, pointB = false;
  if (IsNumericText(a, &pointA) && IsNumericText(b, &pointB)) {
    if (pointA || pointB) return CompareAsDoubles(interp, a, b);
    bool errorA = false, errorB = false, overflowA = false, overflowB = false;
    int32_t x = EvalInteger(interp, a, &errorA, &overflowA);
    int32_t y = EvalInteger(interp, b, &errorB, &overflowB);
    TRACE(interp.proc, " (%ld,%ld) ", static_cast<long>(x), static_cast<long>(y));
    if (errorA || errorB) return int{errorB} - int{errorA};
    // Beyond 32 bits (timestamps, long identifiers) saturated or wrapped
    // integers would compare wrongly; doubles are exact up to 2^53.
    if (overflowA || overflowB) return CompareAsDoubles(interp, a, b);
    return x > y ? 1 : (x < y ? -1 : 0);
  }
  return Sign(a.compare(b));
}

}  // namespace kwl
