// Format operations on numbers: EXPR, RAND, ABS and MONEY.
#include <cmath>
#include <cstdio>
#include <limits>

#include "core/trace.h"
#include "interp/arithmetic.h"
#include "interp/numeric.h"
#include "tags/format_ops.h"

namespace kwl {

namespace {

std::string FormatDouble(Interpreter& interp, double value) {
  int precision = interp.floatprecision ? VarInt(*interp.floatprecision) : 2;
  if (precision > 100) precision = 100;
  int n = std::snprintf(nullptr, 0, "%.*f", precision, value);
  std::string text(static_cast<size_t>(n > 0 ? n : 0) + 1, '\0');
  std::snprintf(text.data(), text.size(), "%.*f", precision, value);
  text.pop_back();
  return text;
}

// Bit k (taken modulo 32) of BIT, BITON or BITOFF, whichever comes first.
int32_t ApplyBits(FormatCall& call, int32_t value) {
  for (const char* name : {"BIT", "BITON", "BITOFF"}) {
    bool present = false;
    std::string text = OtherAttribute(call, name, &present);
    if (!present) continue;
    int bit = ((ParseDecimal(text) % 32) + 32) % 32;
    uint32_t mask = uint32_t{1} << bit;
    uint32_t bits = static_cast<uint32_t>(value);
    if (std::string_view(name) == "BIT") return (bits & mask) ? 1 : 0;
    if (std::string_view(name) == "BITON") return static_cast<int32_t>(bits | mask);
    return static_cast<int32_t>(bits & ~mask);
  }
  return value;
}

// Evaluates a numeric input as EXPR and ABS do; `absolute` takes the magnitude.
int Evaluated(FormatCall& call, bool absolute, bool bits) {
  std::string input = FormatInput(call);
  bool hasPoint = false;
  if (!IsNumericText(input, &hasPoint)) {
    VarSet(FormatTarget(call), input);
    return CurrentError(call.interp);
  }
  bool error = false;
  if (hasPoint) {
    double value = EvalNumber(call.interp, input, &error);
    TRACE(call.interp.proc, "CALC = %f\n", value);
    Variable& target = FormatTarget(call);
    if (!error) VarSet(target, FormatDouble(call.interp, absolute ? std::fabs(value) : value));
  } else {
    int32_t value = EvalInteger(call.interp, input, &error);
    TRACE(call.interp.proc, "CALC int = %ld\n", static_cast<long>(value));
    if (absolute && value < 0) {
      value = value == std::numeric_limits<int32_t>::min() ? std::numeric_limits<int32_t>::max()
                                                           : -value;
    }
    if (bits) value = ApplyBits(call, value);
    Variable& target = FormatTarget(call);
    if (!error) VarSetInt(target, value);
  }
  return CurrentError(call.interp);
}

}  // namespace

int FormatExpr(FormatCall& call) {
  return Evaluated(call, false, true);
}
int FormatAbs(FormatCall& call) {
  return Evaluated(call, true, false);
}

int FormatRand(FormatCall& call) {
  std::string input = FormatInput(call);
  int32_t range = 100;
  bool hasPoint = false;
  bool error = false;
  unsigned faults = call.interp.faults;
  if (IsNumericText(input, &hasPoint)) {
    range = hasPoint ? ToInt32(EvalNumber(call.interp, input, &error))
                     : EvalInteger(call.interp, input, &error);
  }
  Variable& target = FormatTarget(call);
  // Text left over ("5)") is reported by the evaluation without its flag; a
  // range of 0 has no numbers to draw from.
  if (error || call.interp.faults != faults || range == 0) {
    VarClear(target);
    ReportError(call.interp, 2, "Random range error");
    return CurrentError(call.interp);
  }
  int32_t r = ProcessRandom(call.interp.proc) % 32768;
  VarSetInt(target, r % range + 1);
  return CurrentError(call.interp);
}

int FormatMoney(FormatCall& call) {
  std::string input = FormatInput(call);
  if (!IsNumericText(input)) {
    VarSet(FormatTarget(call), input);
    ReportError(call.interp, 3, "WARNING: Can't do money format");
    return CurrentError(call.interp);
  }
  std::string_view text = input;
  size_t point = text.find('.');
  std::string_view whole = text.substr(0, point);
  std::string out;
  // A sign stays in front of the digit groups.
  if (!whole.empty() && (whole[0] == '-' || whole[0] == '+')) {
    out += whole[0];
    whole.remove_prefix(1);
  }
  for (size_t i = 0; i < whole.size(); ++i) {
    if (i > 0 && (whole.size() - i) % 3 == 0) out += ' ';
    out += whole[i];
  }
  if (point != std::string_view::npos) {
    out += ',';
    out.append(text.substr(point + 1));
  }
  VarSet(FormatTarget(call), out);
  return CurrentError(call.interp);
}

}  // namespace kwl
