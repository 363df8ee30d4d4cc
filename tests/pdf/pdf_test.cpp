#include <gtest/gtest.h>
#include <zlib.h>

#include <random>
#include <string>

#include "modules/pdf/pdf_fonts.h"

namespace kwl {
namespace {

std::string Inflate(std::string_view packed, size_t size) {
  std::string out(size, '\0');
  uLongf length = size;
  EXPECT_EQ(uncompress(reinterpret_cast<Bytef*>(out.data()), &length,
                       reinterpret_cast<const Bytef*>(packed.data()), packed.size()),
            Z_OK);
  return out;
}

TEST(PdfFontFile, BytesThatDoNotCompressAreWrittenWithoutFilter) {
  std::mt19937 random(7);
  std::string noise(5000, '\0');
  for (char& c : noise) c = static_cast<char>(random());
  PdfObject object{15, "", 0};
  PdfFontFileStream(object, noise);
  EXPECT_EQ(object.text, "15 0 obj\n<< /Length 5000\n/Length1 5000 >>\nstream\n" + noise +
                             "\nendstream\nendobj\n\n");

  // Same size, other bytes: a font deflated before must not be served for it.
  PdfObject packed{16, "", 0};
  std::string text(5000, 'x');
  PdfFontFileStream(packed, text);
  std::string head = "16 0 obj\n<< /Length ";
  ASSERT_EQ(packed.text.compare(0, head.size(), head), 0);
  size_t length = std::stoul(packed.text.substr(head.size()));
  size_t start = packed.text.find("stream\n") + 7;
  EXPECT_NE(packed.text.find("\n/Length1 5000\n/Filter /FlateDecode >>"), std::string::npos);
  EXPECT_EQ(Inflate(std::string_view(packed.text).substr(start, length), 5000), text);
  EXPECT_EQ(packed.text.substr(start + length), "\nendstream\nendobj\n\n");
}

TEST(PdfTextWidth, CountsBackslashesAndApproximatesAccents) {
  PdfFont font;
  font.widths.fill(600);
  EXPECT_EQ(PdfTextWidth(font, "abcde", 10), 30);
  font.widths['e'] = 500;
  font.widths[0xE9] = 0;
  font.widths['\\'] = 278;
  EXPECT_EQ(PdfTextWidth(font, "\xE9", 1000), 500);
  EXPECT_EQ(PdfTextWidth(font, "\\e", 1000), 778);
  EXPECT_EQ(PdfTextWidth(font, "\xA9", 1000), 1800);  // (C)
  EXPECT_EQ(PdfTextWidth(font, "e", 1), 1);           // rounded to the nearest point
}

}  // namespace
}  // namespace kwl
