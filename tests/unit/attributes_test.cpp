#include "page/attributes.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "core/trace.h"

namespace kwl {
namespace {

using namespace std::string_literals;

// "NAME=value" per attribute, "NAME" alone for a null value.
std::vector<std::string> Parse(std::string_view chunk, int caseMode = 1) {
  Process proc;
  std::vector<std::string> out;
  for (const Variable& var : ParseAttributes(proc, chunk, caseMode)) {
    out.push_back(var.null ? var.name : var.name + "=" + VarRawText(var));
  }
  return out;
}

using Attrs = std::vector<std::string>;

TEST(ParseAttributes, QuotedAndUnquotedValues) {
  EXPECT_EQ(Parse("<SET NAME=total VALUE=\"a b\">"), (Attrs{"NAME=total", "VALUE=a b"}));
  EXPECT_EQ(Parse("<X A=\"1\"B=2>"), (Attrs{"A=1", "B=2"}));
  EXPECT_EQ(Parse("<X A=\"\" B=>"), (Attrs{"A=", "B="}));
  EXPECT_EQ(Parse("<X A=x\ty B=\"p\nq\">"), (Attrs{"A=x\ty", "B=p\nq"}));
  EXPECT_EQ(Parse("<X A = \r\n 1>"), (Attrs{"A=1"}));
  EXPECT_EQ(Parse("<X\tA=1>"), (Attrs{"A=1"}));
  EXPECT_EQ(Parse("<X A=\"a\0b\" B=c\0d>"s), (Attrs{"A=a\0b"s, "B=c\0d"s}));
}

TEST(ParseAttributes, NamesAreUpperCasedOnlyInCaseModeOne) {
  EXPECT_EQ(Parse("<set name=x Value=y>"), (Attrs{"NAME=x", "VALUE=y"}));
  EXPECT_EQ(Parse("<node id=x Lang=y>", 0), (Attrs{"id=x", "Lang=y"}));
}

TEST(ParseAttributes, EscapesInsideQuotes) {
  EXPECT_EQ(Parse("<X A=\"one\\ntwo\">"), (Attrs{"A=one\ntwo"}));
  EXPECT_EQ(Parse("<X A=\"\\r\\t\\q\\\\\">"), (Attrs{"A=\r\tq\\"}));
  EXPECT_EQ(Parse("<X A=\"say \\\"hi\\\"\" B=1>"), (Attrs{"A=say \"hi\"", "B=1"}));
  EXPECT_EQ(Parse("<X A=a\\nb>"), (Attrs{"A=a\\nb"}));  // unquoted values keep backslashes
}

TEST(ParseAttributes, SeparatorsAndMissingEquals) {
  EXPECT_EQ(Parse("<X A B=1>"), (Attrs{"A=B=1"}));
  EXPECT_EQ(Parse("<SET NAME=x />"), (Attrs{"NAME=x"}));
  EXPECT_EQ(Parse("<X A=1 A=2>"), (Attrs{"A=1", "A=2"}));
  EXPECT_EQ(Parse("<X =1>"), (Attrs{"=1"}));
}

TEST(ParseAttributes, NothingBehindTheTagWordGivesNoAttributes) {
  EXPECT_EQ(Parse("<SET>"), Attrs{});
  EXPECT_EQ(Parse("<SET"), Attrs{});
  EXPECT_EQ(Parse("<SET  />"), Attrs{});
  EXPECT_EQ(Parse(""), Attrs{});
}

TEST(ParseAttributes, ChunkEndingEarly) {
  EXPECT_EQ(Parse("<X A"), (Attrs{"A"}));  // null: the text ends behind the name
  EXPECT_EQ(Parse("<X A>"), (Attrs{"A="}));
  EXPECT_EQ(Parse("<X A="), (Attrs{"A="}));
  EXPECT_EQ(Parse("<X A=\""), (Attrs{"A="}));
  EXPECT_EQ(Parse("<X A=\"abc def"), (Attrs{"A=abc def"}));
  EXPECT_EQ(Parse("<X A=\"abc\\"), (Attrs{"A=abc\\"}));
  EXPECT_EQ(Parse("<X A=\"abc\\\""), (Attrs{"A=abc\""}));
  EXPECT_EQ(Parse("<X A=abc"), (Attrs{"A=abc"}));
}

TEST(ParseAttributes, LongNames) {
  const std::string name255(255, 'n');
  Attrs parsed = Parse("<X " + name255 + "=1 B=2>");
  ASSERT_EQ(parsed.size(), 2u);
  EXPECT_EQ(parsed[0], std::string(kMaxNameLength, 'N') + "=1");
  EXPECT_EQ(parsed[1], "B=2");
  // A name beyond the limit ends the parse; what came before it stays.
  EXPECT_EQ(Parse("<X A=1 " + std::string(300, 'n') + "=2 C=3>"), (Attrs{"A=1"}));
  EXPECT_EQ(Parse("<X " + std::string(256, 'n')), Attrs{});
}

TEST(FindAttribute, FirstMatchWithoutRegardToCase) {
  Process proc;
  AttributeList list = ParseAttributes(proc, "<SET name=x A=1 a=2>");
  ASSERT_NE(FindAttribute(list, "name"), nullptr);
  EXPECT_EQ(VarRawText(*FindAttribute(list, "Name")), "x");
  EXPECT_EQ(VarRawText(*FindAttribute(list, "a")), "1");
  EXPECT_EQ(FindAttribute(list, "NAM"), nullptr);
  EXPECT_EQ(FindAttribute(list, "NAMES"), nullptr);
  AttributeList empty;
  EXPECT_EQ(FindAttribute(empty, ""), nullptr);
}

// What `proc` traces while `parse` runs, at trace level 4.
template <class Parse>
std::string TracedWhile(Process& proc, Parse parse) {
  Variable level("veldebug");
  VarSetInt(level, kTraceText);
  proc.debug = &level;
  std::FILE* file = std::tmpfile();
  proc.out = file;
  parse();
  std::fflush(file);
  std::string text(static_cast<size_t>(std::ftell(file)), '\0');
  std::rewind(file);
  text.resize(std::fread(text.data(), 1, text.size(), file));
  proc.out = stdout;
  proc.debug = nullptr;
  std::fclose(file);
  return text;
}

TEST(ParseAttributes, TracesEscapesAndEachAttribute) {
  Process proc;
  EXPECT_EQ(TracedWhile(proc, [&] { ParseAttributes(proc, "<X A=\"1\\n2\" B>"); }),
            "Special char \\n\n"
            "PARSE: Param A Value 1\n2\n"
            "PARSE: Param B Value \n");
}

std::vector<std::string> Listed(const AttributeList& list) {
  std::vector<std::string> out;
  for (const Variable& var : list)
    out.push_back(var.null ? var.name : var.name + "=" + VarRawText(var));
  return out;
}

TEST(AttributeCache, OneParsePerTagTextAndTheSameAnswerAsTheParser) {
  Process proc;
  AttributeCache cache;
  SharedAttributes first = cache.Get(proc, "<SET NAME=i EXPR=\"$i$+1\">");
  EXPECT_EQ(Listed(*first), (Attrs{"NAME=i", "EXPR=$i$+1"}));
  EXPECT_EQ(cache.Get(proc, "<SET NAME=i EXPR=\"$i$+1\">"), first);
  // Texts that differ anywhere are different tags, even where the parses look alike.
  EXPECT_EQ(Listed(*cache.Get(proc, "<SET NAME=i EXPR=\"$i$+2\">")),
            (Attrs{"NAME=i", "EXPR=$i$+2"}));
  EXPECT_EQ(Listed(*cache.Get(proc, "<set name=i expr=\"$i$+1\">")),
            (Attrs{"NAME=i", "EXPR=$i$+1"}));
  EXPECT_EQ(Listed(*cache.Get(proc, std::string_view("<X A=\"1\0\">", 10))), (Attrs{"A=1\0"s}));
  EXPECT_EQ(Listed(*cache.Get(proc, "<X A=\"1\">")), (Attrs{"A=1"}));
}

TEST(AttributeCache, ManyTagTextsStartItAfreshWithoutLosingAHeldParse) {
  Process proc;
  AttributeCache cache;
  SharedAttributes held = cache.Get(proc, "<SET NAME=held VALUE=1>");
  for (int i = 0; i < 10000; ++i) {
    std::string tag =
        "<SET NAME=v" + std::to_string(i) + " VALUE=\"" + std::string(i % 300, 'x') + "\">";
    ASSERT_EQ(Listed(*cache.Get(proc, tag)), Listed(ParseAttributes(proc, tag))) << tag;
  }
  EXPECT_EQ(Listed(*held), (Attrs{"NAME=held", "VALUE=1"}));
}

TEST(AttributeCache, EveryParseIsTracedWhileTheTraceIsOn) {
  Process proc;
  AttributeCache cache;
  cache.Get(proc, "<X A=1>");
  std::string traced = TracedWhile(proc, [&] {
    cache.Get(proc, "<X A=1>");
    cache.Get(proc, "<X A=1>");
  });
  EXPECT_EQ(traced, "PARSE: Param A Value 1\nPARSE: Param A Value 1\n");
}

}  // namespace
}  // namespace kwl
