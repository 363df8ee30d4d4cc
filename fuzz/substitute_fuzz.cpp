// Substitution, conditions and arithmetic over a page run with a few variables.
// Input: a switch byte (trace, iso charset, SQL escaping, what to evaluate),
// a line that becomes the value of `v`, then the text to evaluate.
#include <cstdint>
#include <string>

#include "fuzz_support.h"
#include "interp/arithmetic.h"
#include "interp/condition.h"
#include "interp/substitute.h"
#include "interp_fixture.h"

using namespace kwl;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view input = fuzz::Bytes(data, size);
  const uint8_t switches = fuzz::TakeSwitches(input);
  const std::string_view value = fuzz::TakeLine(input);
  const std::string text(input);

  testing::PageRun run;
  run.Set("a", "abc");
  run.Set("n", "42");
  run.Set("x", "-3.5e2");
  run.Set("k", "2");
  run.Set("u", "\xc3\xa9t\xc3\xa9");
  run.Set("tpl", "Hello $a$ $v(k,n)$");
  run.Set("self", "$+self$");
  run.Set("v", value);
  if (switches & 2) VarSet(*run.interp.charset, "iso-8859-1");
  run.interp.escapeValues = switches & 4;
  fuzz::QuietTrace trace(run.proc, switches & 1);
  bool error = false;
  switch ((switches >> 3) & 3) {
    case 0: {
      std::string out;
      Substitute(run.interp, text, out);
      break;
    }
    case 1:
      EvalCondition(run.interp, text);
      break;
    case 2:
      EvalInteger(run.interp, text, &error);
      break;
    default:
      EvalNumber(run.interp, text, &error);
      break;
  }
  return 0;
}
