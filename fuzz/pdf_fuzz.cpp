// The PDF tag over whatever attributes a page gives it: each input line
// becomes the attributes of one call on a document the target opens (and
// closes at the end), so boxes, fonts, text layout, page breaks, links and
// raw operators all meet odd values. Only the PDF tag is registered, and a
// line can neither leave its tag nor name another file to write.
#include <unistd.h>

#include <cstdint>
#include <string>

#include "core/memory_limit.h"
#include "fuzz_support.h"
#include "interp_fixture.h"
#include "modules/pdf/pdf_tags.h"
#include "text/ascii.h"

using namespace kwl;

namespace {

std::string Output() {
  return "/tmp/kwl-fuzz-pdf-" + std::to_string(getpid()) + ".pdf";
}

// The line without tag brackets and without any FILE attribute.
std::string Attributes(std::string_view line) {
  std::string out;
  for (char c : line) {
    if (c != '<' && c != '>') out += c;
  }
  for (size_t at = 0; at + 4 <= out.size();) {
    if (AsciiEqualsNoCase(std::string_view(out).substr(at, 4), "FILE")) {
      out.erase(at, 4);
      at = at >= 3 ? at - 3 : 0;  // what the cut joined may spell it again
    } else {
      ++at;
    }
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  MemorySetLimit(size_t{64} << 20);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view input = fuzz::Bytes(data, size);
  const uint8_t switches = fuzz::TakeSwitches(input);
  testing::PageRun run;
  run.tags = TagRegistry();
  RegisterPdfTags(run.tags);
  run.tags.modulesLoaded.push_back("pdf");
  fuzz::QuietTrace trace(run.proc, switches & 1);
  std::string page = "<HTML><PDF FILE=\"" + Output() + "\" NAME=\"d\">";
  for (int calls = 0; !input.empty() && calls < 64; ++calls) {
    page += "<PDF NAME=\"d\" " + Attributes(fuzz::TakeLine(input)) + ">";
  }
  page += "<PDF CLOSE=\"d\">";
  run.Run(page);
  unlink(Output().c_str());
  return 0;
}
