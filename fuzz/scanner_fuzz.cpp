// The scanner with the attribute parser: chunks tile the text, every element
// is recognised and parsed, and a compiled text gives what the scanner and
// the parser give.
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "page/attributes.h"
#include "page/compiled_text.h"
#include "page/scanner.h"
#include "page/tag_table.h"

using namespace kwl;

namespace {

bool SameAttributes(const AttributeList& a, const AttributeList& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (a[i].name != b[i].name || a[i].text != b[i].text || a[i].null != b[i].null) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view input = fuzz::Bytes(data, size);
  const uint8_t switches = fuzz::TakeSwitches(input);
  // An exact-size copy: a read past the end of the text is outside the allocation.
  const std::vector<char> page(input.begin(), input.end());
  const std::string_view text(page.data(), page.size());
  Process proc;
  fuzz::QuietTrace trace(proc, switches & 1);
  CompiledText compiled(CompiledText::ViewOf{}, text);
  for (size_t pos = 0; pos < text.size();) {
    std::string_view chunk;
    const size_t next = NextChunk(text, pos, &chunk);
    FUZZ_CHECK(next > pos && next <= text.size());
    FUZZ_CHECK(chunk.data() == text.data() + pos && chunk.size() == next - pos);
    FUZZ_CHECK(chunk[0] == '<' || chunk.find('<') == std::string_view::npos);
    const int code = RecogniseTag(proc, chunk, switches & 2);
    FUZZ_CHECK(code >= 0 && code < kTagCodeCount);
    CompiledText::Chunk& cut = compiled.At(pos);
    FUZZ_CHECK(cut.end == next && cut.code == code);
    const int caseMode = switches & 4 ? 0 : 1;
    const AttributeList parsed = ParseAttributes(proc, chunk, caseMode);
    for (const Variable& var : parsed) {
      FUZZ_CHECK(var.name.size() <= kMaxNameLength && var.text.size() <= chunk.size());
    }
    FUZZ_CHECK(SameAttributes(compiled.Attributes(proc, cut, caseMode), parsed));
    pos = next;
  }
  ParseAttributes(proc, text, 1);
  return 0;
}
