// The XPROC scanner: listing finds for each element the end tag that a plain
// walk with a depth counter finds, rows are whole, and selection by any path
// stays inside the text and the table.
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "tags/xproc_scan.h"

using namespace kwl;

namespace {

bool StartsNoCase(std::string_view text, size_t at, std::string_view name) {
  if (at + name.size() > text.size()) return false;
  for (size_t i = 0; i < name.size(); ++i) {
    char a = text[at + i], b = name[i];
    if (a >= 'A' && a <= 'Z') a = static_cast<char>(a + 32);
    if (b >= 'A' && b <= 'Z') b = static_cast<char>(b + 32);
    if (a != b) return false;
  }
  return true;
}

bool TagWordEnd(std::string_view text, size_t at) {
  return at < text.size() && std::string_view(" \t\r\n>").find(text[at]) != std::string_view::npos;
}

// The end tag of `name` for content beginning at `from`, walking from "<" to "<".
size_t WalkToEndTag(std::string_view text, std::string_view name, size_t from) {
  int depth = 1;
  for (size_t lt = text.find('<', from); lt != std::string_view::npos;
       lt = text.find('<', lt + 1)) {
    bool closes = lt + 1 < text.size() && text[lt + 1] == '/';
    size_t at = lt + (closes ? 2 : 1);
    if (!StartsNoCase(text, at, name) || !TagWordEnd(text, at + name.size())) continue;
    depth += closes ? -1 : 1;
    if (depth == 0) return lt;
  }
  return std::string_view::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view input = fuzz::Bytes(data, size);
  const uint8_t switches = fuzz::TakeSwitches(input);
  const std::string_view path = fuzz::TakeLine(input);
  // An exact-size copy: a read past the end of the text is outside the allocation.
  const std::vector<char> bytes(input.begin(), input.end());
  const std::string_view text(bytes.data(), bytes.size());
  Process proc;
  fuzz::QuietTrace trace(proc, switches & 1);

  XProcText scan(text);
  XProcElement e;
  for (size_t pos = 0, next = 0; pos < text.size() && scan.NextElement(proc, pos, &e, &next);
       pos = next) {
    FUZZ_CHECK(next > pos && next <= text.size());
    if (e.content.empty() || e.name.size() > kMaxXProcName) continue;
    size_t from = static_cast<size_t>(e.content.data() - text.data());
    size_t end = from + e.content.size();
    FUZZ_CHECK(WalkToEndTag(text, e.name, from) == end);
  }

  DATable listed;
  XProcList(proc, text, listed);
  FUZZ_CHECK(DAColumnCount(listed) == 3 && listed.cells.size() % 3 == 0);
  for (size_t i = 0; i < listed.cells.size(); i += 3) {
    FUZZ_CHECK(listed.cells[i].length > 0 && listed.cells[i].length <= kMaxXProcName);
  }

  DATable selected;
  XProcSelect(proc, text, path, selected);
  for (const DACell& cell : selected.cells) {
    FUZZ_CHECK(cell.offset + static_cast<size_t>(cell.length) <= selected.pool.size());
  }
  return 0;
}
