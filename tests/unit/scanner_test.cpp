#include "page/scanner.h"

#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <vector>

#include "core/process.h"
#include "page/tag_table.h"

namespace kwl {
namespace {

using namespace std::string_literals;
using Chunks = std::vector<std::string>;

Chunks Cut(std::string_view text) {
  Chunks chunks;
  std::string_view chunk;
  for (size_t pos = 0; pos < text.size();) {
    pos = NextChunk(text, pos, &chunk);
    chunks.emplace_back(chunk);
  }
  return chunks;
}

int Code(std::string_view chunk) {
  Process proc;
  return RecogniseTag(proc, chunk, true);
}

TEST(TagTable, EveryOpeningIsRecognisedInBothCasesAndNoneIsShadowed) {
  auto table = TagTable();
  for (size_t later = 0; later < table.size(); ++later) {
    std::string opening = table[later].opening;
    for (size_t earlier = 0; earlier < later; ++earlier) {
      EXPECT_FALSE(opening.starts_with(table[earlier].opening))
          << opening << " can never match behind " << table[earlier].opening;
    }
    if (opening[0] != '<') {
      EXPECT_EQ(Code(opening), 0) << opening;  // only chunks beginning with '<' are looked up
      continue;
    }
    std::string lower = opening;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    EXPECT_EQ(Code(opening + " A=1>"), table[later].code) << opening;
    EXPECT_EQ(Code(lower + ">"), table[later].code) << lower;
  }
}

TEST(RecogniseTag, PrefixMatchInTableOrderAndNothingElse) {
  const std::pair<std::string, int> cases[] = {
      {"<SETAREA NAME=x>", kTagSetarea},
      {"<SeTaReA>", kTagSetarea},
      {"<SETAREx>", kTagSet},
      {"<HEADER>", kTagHead},
      {"<HTMLX>", kTagHtml},
      {"<!doctype html>", kTagHtml},
      {"<!-- note -->", kTagComment},
      {"</Cond>", kTagCondEnd},
      {"<SET", kTagSet},  // a page may end right behind the opening
      {"<TABLE border=1>", 0},
      {"SET x", 0},
      {"", 0},
      {"<", 0},
      {"<SE", 0},
      {"<-->", 0},
      {"</", 0},
      {"<\xd3\xc5T>", 0},  // bytes above ASCII are not letters
      {"<\0SET>"s, 0},
      {"<S\0T>"s, 0},
  };
  for (const auto& [chunk, code] : cases) EXPECT_EQ(Code(chunk), code) << chunk;
}

TEST(NextChunk, Cuts) {
  const std::pair<std::string, Chunks> cases[] = {
      {"a>b\\c\"d\ne<X>", {"a>b\\c\"d\ne", "<X>"}},
      {"<<A>", {"<", "<A>"}},
      {"a\0b<X\0Y>\0"s, {"a\0b"s, "<X\0Y>"s, "\0"s}},
      // Quotes hide stop characters; an odd run of backslashes escapes a quote.
      {"<SET V=\"a\nb<c\\d\">z", {"<SET V=\"a\nb<c\\d\">", "z"}},
      {"<S V=\"a\\\\\\\">b\">z", {"<S V=\"a\\\\\\\">b\">", "z"}},
      // A line break, backslash or "<" outside quotes ends the element.
      {"<SET A=1\nB=2>x", {"<SET A=1", "\nB=2>x"}},
      {"<SET A=\\x>y", {"<SET A=", "\\x>y"}},
      {"<A <B>", {"<A ", "<B>"}},
      // An unfinished element is the last chunk.
      {"x<SET A=\"1>", {"x", "<SET A=\"1>"}},
      {"<S V=\"\\\">z", {"<S V=\"\\\">z"}},
  };
  for (const auto& [text, chunks] : cases) EXPECT_EQ(Cut(text), chunks) << text;
  std::string_view chunk = "stale";
  EXPECT_EQ(NextChunk("ab", 2, &chunk), 2u);
  EXPECT_TRUE(chunk.empty());
}

}  // namespace
}  // namespace kwl
