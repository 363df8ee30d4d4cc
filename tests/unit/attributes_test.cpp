#include "page/attributes.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/process.h"

namespace kwl {
namespace {

using namespace std::string_literals;
using Attrs = std::vector<std::string>;

// "NAME=value" per attribute, "NAME" alone for a null value.
Attrs Listed(const AttributeList& list) {
  Attrs out;
  for (const Variable& var : list)
    out.push_back(var.null ? var.name : var.name + "=" + VarRawText(var));
  return out;
}

Attrs Parse(std::string_view chunk, int caseMode = 1) {
  Process proc;
  return Listed(ParseAttributes(proc, chunk, caseMode));
}

TEST(ParseAttributes, Chunks) {
  const std::pair<std::string, Attrs> cases[] = {
      {"<X A=\"1\"B=2>", {"A=1", "B=2"}},
      {"<X A = \r\n 1>", {"A=1"}},
      {"<X A=\"a\0b\" B=c\0d>"s, {"A=a\0b"s, "B=c\0d"s}},
      {"<set name=x zValue=y>", {"NAME=x", "ZVALUE=y"}},
      // Escapes inside quotes only.
      {"<X A=\"\\r\\t\\q\\\\\">", {"A=\r\tq\\"}},
      {"<X A=\"say \\\"hi\\\"\" B=1>", {"A=say \"hi\"", "B=1"}},
      {"<X A=a\\nb>", {"A=a\\nb"}},
      // Separators and missing equals signs.
      {"<X A B=1>", {"A=B=1"}},
      {"<SET NAME=x />", {"NAME=x"}},
      {"<X =1>", {"=1"}},
      {"<SET  />", {}},
      // A chunk ending early; a null value when the text ends behind the name.
      {"<SET", {}},
      {"<X A", {"A"}},
      {"<X A>", {"A="}},
      {"<X A=", {"A="}},
      {"<X A=\"", {"A="}},
      {"<X A=\"abc def", {"A=abc def"}},
      {"<X A=\"abc\\", {"A=abc\\"}},
      {"<X A=\"abc\\\"", {"A=abc\""}},
      // Names are cut at the limit; a name far beyond it ends the parse.
      {"<X " + std::string(255, 'n') + "=1 B=2>", {std::string(kMaxNameLength, 'N') + "=1", "B=2"}},
      {"<X A=1 " + std::string(300, 'n') + "=2 C=3>", {"A=1"}},
      {"<X " + std::string(256, 'n'), {}},
  };
  for (const auto& [chunk, attrs] : cases) EXPECT_EQ(Parse(chunk), attrs) << chunk;
  EXPECT_EQ(Parse("<node id=x Lang=y>", 0), (Attrs{"id=x", "Lang=y"}));
}

}  // namespace
}  // namespace kwl
