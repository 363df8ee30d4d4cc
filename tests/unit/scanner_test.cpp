#include "page/scanner.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "core/trace.h"
#include "page/tag_table.h"

namespace kwl {
namespace {

using namespace std::string_literals;

std::vector<std::string> Chunks(std::string_view text) {
  std::vector<std::string> chunks;
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

// Sends text-mode trace into a temporary file for the test to read.
class TraceCapture {
 public:
  explicit TraceCapture(Process& proc) : proc_(proc), file_(std::tmpfile()) {
    VarSetInt(level_, kTraceText);
    proc.debug = &level_;
    proc.out = file_;
  }
  ~TraceCapture() {
    proc_.out = stdout;
    proc_.debug = nullptr;
    std::fclose(file_);
  }
  std::string Text() {
    std::fflush(file_);
    std::string text(static_cast<size_t>(std::ftell(file_)), '\0');
    std::rewind(file_);
    text.resize(std::fread(text.data(), 1, text.size(), file_));
    return text;
  }

 private:
  Process& proc_;
  std::FILE* file_;
  Variable level_{"veldebug"};
};

TEST(TagTable, NoEntryIsShadowedByAnEarlierPrefix) {
  auto table = TagTable();
  ASSERT_EQ(table.size(), 46u);
  for (size_t later = 0; later < table.size(); ++later) {
    std::string_view opening = table[later].opening;
    for (size_t earlier = 0; earlier < later; ++earlier) {
      EXPECT_FALSE(opening.starts_with(table[earlier].opening))
          << opening << " can never match behind " << table[earlier].opening;
    }
  }
}

TEST(TagTable, EveryOpeningIsRecognisedInBothCases) {
  for (const TagEntry& tag : TagTable()) {
    std::string opening = tag.opening;
    if (opening[0] != '<') {
      EXPECT_EQ(Code(opening), 0) << opening;  // only chunks beginning with '<' are looked up
      continue;
    }
    std::string lower = opening;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    EXPECT_EQ(Code(opening + " A=1>"), tag.code) << opening;
    EXPECT_EQ(Code(lower + ">"), tag.code) << lower;
  }
}

TEST(RecogniseTag, PrefixMatchTakesTheFirstEntryInTableOrder) {
  EXPECT_EQ(Code("<set name=x value=1>"), kTagSet);
  EXPECT_EQ(Code("<SETAREA NAME=x>"), kTagSetarea);
  EXPECT_EQ(Code("</setarea>"), kTagSetareaEnd);
  EXPECT_EQ(Code("<SeTaReA>"), kTagSetarea);
  EXPECT_EQ(Code("<SETAREx>"), kTagSet);
  EXPECT_EQ(Code("<HEADER>"), kTagHead);
  EXPECT_EQ(Code("<HTMLX>"), kTagHtml);
  EXPECT_EQ(Code("<!doctype html>"), kTagHtml);
  EXPECT_EQ(Code("<!-- note -->"), kTagComment);
  EXPECT_EQ(Code("<?xml version=\"1.0\"?>"), kTagXml);
  EXPECT_EQ(Code("</Cond>"), kTagCondEnd);
}

TEST(RecogniseTag, UnknownElementsTextAndShortChunksAreZero) {
  EXPECT_EQ(Code("<TABLE border=1>"), 0);
  EXPECT_EQ(Code("SET x"), 0);
  EXPECT_EQ(Code(""), 0);
  EXPECT_EQ(Code("<"), 0);
  EXPECT_EQ(Code("<SE"), 0);
  EXPECT_EQ(Code("<SET"), kTagSet);  // a page may end right behind the opening
  EXPECT_EQ(Code("<-->"), 0);
  EXPECT_EQ(Code("</"), 0);
  EXPECT_EQ(Code("<\xd3\xc5T>"), 0);  // bytes above ASCII are not letters
  EXPECT_EQ(Code("<\0SET>"s), 0);
  EXPECT_EQ(Code("<S\0T>"s), 0);
}

TEST(RecogniseTag, TraceLineAndItsBlankLineDependOnListedAndExecuting) {
  Process proc;
  TraceCapture trace(proc);
  RecogniseTag(proc, "<SET A=1>", true);
  RecogniseTag(proc, "<CLOSE>", true);
  RecogniseTag(proc, "<SET A=1>", false);
  RecogniseTag(proc, "<CLOSE>", false);
  RecogniseTag(proc, "<TABLE>", true);
  EXPECT_EQ(trace.Text(),
            "\nKWL TAG: <SET>\n"
            "KWL TAG: <CLOSE>\n\n"
            "KWL TAG: <SET>\n"
            "KWL TAG: <CLOSE>\n");
}

TEST(NextChunk, TextRunsToTheNextElement) {
  EXPECT_EQ(Chunks("abc<SET A=1>def<B>"),
            (std::vector<std::string>{"abc", "<SET A=1>", "def", "<B>"}));
  EXPECT_EQ(Chunks("a>b\\c\"d\ne<X>"), (std::vector<std::string>{"a>b\\c\"d\ne", "<X>"}));
  EXPECT_EQ(Chunks("<<A>"), (std::vector<std::string>{"<", "<A>"}));
  EXPECT_EQ(Chunks("a\0b<X\0Y>\0"s), (std::vector<std::string>{"a\0b"s, "<X\0Y>"s, "\0"s}));
}

TEST(NextChunk, QuotesHideStopCharacters) {
  EXPECT_EQ(Chunks("<SET NAME=a VALUE=\"x>y\">z"),
            (std::vector<std::string>{"<SET NAME=a VALUE=\"x>y\">", "z"}));
  EXPECT_EQ(Chunks("<SET V=\"a\nb<c\\d\">z"),
            (std::vector<std::string>{"<SET V=\"a\nb<c\\d\">", "z"}));
  EXPECT_EQ(Chunks("<A \"1\"\"2>\">z"), (std::vector<std::string>{"<A \"1\"\"2>\">", "z"}));
}

TEST(NextChunk, BackslashesBeforeAQuoteEscapeItWhenTheyAreOdd) {
  EXPECT_EQ(Chunks("<S V=\"a\\\">b\">z"), (std::vector<std::string>{"<S V=\"a\\\">b\">", "z"}));
  EXPECT_EQ(Chunks("<S V=\"a\\\\\">z"), (std::vector<std::string>{"<S V=\"a\\\\\">", "z"}));
  EXPECT_EQ(Chunks("<S V=\"a\\\\\\\">b\">z"),
            (std::vector<std::string>{"<S V=\"a\\\\\\\">b\">", "z"}));
  EXPECT_EQ(Chunks("<S V=\"\\\">z"), (std::vector<std::string>{"<S V=\"\\\">z"}));
}

TEST(NextChunk, LineBreakBackslashOrLessThanOutsideQuotesEndTheElement) {
  EXPECT_EQ(Chunks("<SET A=1\nB=2>x"), (std::vector<std::string>{"<SET A=1", "\nB=2>x"}));
  EXPECT_EQ(Chunks("<SET A=\\x>y"), (std::vector<std::string>{"<SET A=", "\\x>y"}));
  EXPECT_EQ(Chunks("<A <B>"), (std::vector<std::string>{"<A ", "<B>"}));
}

TEST(NextChunk, AnUnfinishedElementIsTheLastChunk) {
  std::string_view text = "x<SET A=\"1>";
  std::string_view chunk;
  EXPECT_EQ(NextChunk(text, 0, &chunk), 1u);
  EXPECT_EQ(NextChunk(text, 1, &chunk), text.size());
  EXPECT_EQ(chunk, "<SET A=\"1>");
  EXPECT_EQ(Chunks("<SET A=1"), (std::vector<std::string>{"<SET A=1"}));
  EXPECT_EQ(Chunks("<"), (std::vector<std::string>{"<"}));
  EXPECT_EQ(NextChunk(text, text.size(), &chunk), text.size());
  EXPECT_TRUE(chunk.empty());
}

// Every chunk the map gives is the chunk the scanner cuts there, with its
// tag code and line ends, whether asked for in order, again or out of order.
TEST(ChunkMap, GivesWhatTheScannerCuts) {
  const std::string text =
      "<HTML>a\nb<SET NAME=x VALUE=\"1\n>2\"><cond expr=\"1\">\n\n</COND><!-- c\n -->"
      "<UNKNOWN a\nb>\\<WHILE EXPR=\"$i$ < 3\"></WHILE>\0<SQL"s;
  ChunkMap map(text);
  EXPECT_TRUE(map.Covers(text));
  EXPECT_FALSE(map.Covers(std::string_view(text).substr(0, text.size() - 1)));
  EXPECT_FALSE(map.Covers(std::string(text)));  // the same bytes elsewhere are another text
  std::vector<size_t> starts;
  for (size_t pos = 0; pos < text.size();) {
    starts.push_back(pos);
    std::string_view chunk;
    size_t end = NextChunk(text, pos, &chunk);
    for (int pass = 0; pass < 2; ++pass) {
      const ChunkMap::Chunk& cut = map.At(pos);
      EXPECT_EQ(cut.end, end) << pos;
      EXPECT_EQ(cut.code, Code(chunk)) << chunk;
      EXPECT_EQ(cut.newlines, static_cast<uint32_t>(std::count(chunk.begin(), chunk.end(), '\n')));
    }
    pos = end;
  }
  EXPECT_GT(starts.size(), 10u);
  ChunkMap backwards(text);
  for (auto it = starts.rbegin(); it != starts.rend(); ++it) {
    std::string_view chunk;
    EXPECT_EQ(backwards.At(*it).end, NextChunk(text, *it, &chunk));
  }
  // A position inside a chunk is cut from there, as the scanner would.
  std::string_view chunk;
  EXPECT_EQ(map.At(1).end, NextChunk(text, 1, &chunk));
}

}  // namespace
}  // namespace kwl
