#include "page/compiled_text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "interp_fixture.h"
#include "page/page_cache.h"
#include "page/scanner.h"

namespace kwl {
namespace {

using namespace std::string_literals;

// Every chunk is the one the scanner cuts there, with its tag code and line
// ends, whether asked for in order, again, backwards or from inside a chunk.
TEST(CompiledText, GivesWhatTheScannerCuts) {
  const std::string text =
      "<HTML>a\nb<SET NAME=x VALUE=\"1\n>2\"><cond expr=\"1\">\n\n</COND><!-- c\n -->"
      "<UNKNOWN a\nb>\\<WHILE EXPR=\"$i$ < 3\"></WHILE>\0<SQL"s;
  CompiledText compiled(text);
  EXPECT_TRUE(compiled.Covers(compiled.text()));
  EXPECT_FALSE(compiled.Covers(text));  // the same bytes elsewhere are another text
  std::vector<size_t> starts;
  for (size_t pos = 0; pos < text.size();) {
    starts.push_back(pos);
    std::string_view chunk;
    size_t end = NextChunk(text, pos, &chunk);
    const TagEntry* tag = MatchingTag(chunk);
    for (int pass = 0; pass < 2; ++pass) {
      CompiledText::Chunk& cut = compiled.At(pos);
      EXPECT_EQ(cut.end, end) << pos;
      EXPECT_EQ(cut.code, tag ? tag->code : kTagNone) << chunk;
      EXPECT_EQ(cut.newlines, static_cast<uint32_t>(std::count(chunk.begin(), chunk.end(), '\n')));
    }
    pos = end;
  }
  EXPECT_GT(starts.size(), 10u);
  CompiledText backwards(CompiledText::ViewOf{}, text);
  for (auto it = starts.rbegin(); it != starts.rend(); ++it) {
    std::string_view chunk;
    EXPECT_EQ(backwards.At(*it).end, NextChunk(text, *it, &chunk));
  }
  std::string_view chunk;
  EXPECT_EQ(compiled.At(1).end, NextChunk(text, 1, &chunk));
  EXPECT_EQ(compiled.At(starts[3]).begin, starts[3]);
}

TEST(PageCache, SameBytesOneCompiledTextAndHeldTextsOutliveAFlood) {
  PageCache cache;
  std::string page = "<HTML>$a$";
  SharedText held = cache.CompileCopy(page);
  EXPECT_EQ(cache.Compile(std::string(page)), held);
  EXPECT_NE(cache.CompileCopy("<HTML>$b$"), held);
  for (int i = 0; i < 5000; ++i) cache.Compile(std::to_string(i));
  EXPECT_LE(cache.size(), 4096u);
  EXPECT_EQ(held->text(), page);
  EXPECT_EQ(held->At(0).code, kTagHtml);
}

}  // namespace
}  // namespace kwl
