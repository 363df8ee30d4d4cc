// Random pages through the scanner and the attribute parser; run under the
// sanitizers to catch reads past the end of a chunk.
#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "core/trace.h"
#include "page/attributes.h"
#include "page/scanner.h"
#include "page/tag_table.h"

namespace kwl {
namespace {

using namespace std::string_view_literals;

// Mostly the characters the scanner and the parser act on, some of anything.
std::string RandomPage(std::mt19937& rng) {
  static constexpr std::string_view kBusy =
      "<<>>\"\"\\\\\n\r\t  ==/!-?SETAREsetqx\0"
      "\x7f\xff"sv;
  std::uniform_int_distribution<size_t> length(0, 160);
  std::uniform_int_distribution<int> coin(0, 3);
  std::uniform_int_distribution<size_t> busy(0, kBusy.size() - 1);
  std::uniform_int_distribution<int> byte(0, 255);
  std::string page(length(rng), '\0');
  for (char& c : page) c = coin(rng) ? kBusy[busy(rng)] : static_cast<char>(byte(rng));
  return page;
}

TEST(ScannerRobustness, RandomPagesTileIntoChunksAndParse) {
  std::mt19937 rng(20240611);
  Process proc;
  // Trace on, into nowhere, so the trace formatting of odd bytes runs as well.
  Variable level("veldebug");
  VarSetInt(level, kTraceText);
  proc.debug = &level;
  std::FILE* sink = std::fopen("/dev/null", "w");
  ASSERT_NE(sink, nullptr);
  proc.out = sink;
  for (int round = 0; round < 4000; ++round) {
    // Exact-size copies, so that a read past the end is outside the allocation.
    const std::string random = RandomPage(rng);
    const std::vector<char> page(random.begin(), random.end());
    const std::string_view text(page.data(), page.size());
    size_t pos = 0;
    while (pos < text.size()) {
      std::string_view chunk;
      const size_t next = NextChunk(text, pos, &chunk);
      ASSERT_GT(next, pos) << "no progress at " << pos;
      ASSERT_LE(next, text.size());
      ASSERT_EQ(chunk.data(), text.data() + pos);
      ASSERT_EQ(chunk.size(), next - pos);
      if (chunk[0] != '<') {
        ASSERT_EQ(chunk.find('<'), std::string_view::npos);
      }
      const std::vector<char> copy(chunk.begin(), chunk.end());
      const std::string_view exact(copy.data(), copy.size());
      const int code = RecogniseTag(proc, exact, round % 2 == 0);
      ASSERT_GE(code, 0);
      ASSERT_LT(code, kTagCodeCount);
      for (Variable& var : ParseAttributes(proc, exact, round % 2)) {
        ASSERT_LE(var.name.size(), kMaxNameLength);
        ASSERT_LE(var.text.size(), chunk.size());
      }
      pos = next;
    }
    ParseAttributes(proc, text, 1);
  }
  proc.out = stdout;
  std::fclose(sink);
}

}  // namespace
}  // namespace kwl
