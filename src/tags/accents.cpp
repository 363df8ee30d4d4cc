#include "tags/accents.h"

#include <cstdint>

#include "tags/charset.h"
#include "text/entities.h"

namespace kwl {

namespace {

struct Cp1252Char {
  uint16_t code;
  unsigned char byte;
};

// The Windows-1252 characters that the entity table knows, by Unicode code.
constexpr Cp1252Char kCp1252[] = {
    {0x20AC, 0x80}, {0x201A, 0x82}, {0x0192, 0x83}, {0x201E, 0x84}, {0x2026, 0x85}, {0x2020, 0x86},
    {0x2021, 0x87}, {0x02C6, 0x88}, {0x2030, 0x89}, {0x0160, 0x8A}, {0x2039, 0x8B}, {0x0152, 0x8C},
    {0x017D, 0x8E}, {0x2018, 0x91}, {0x2019, 0x92}, {0x201C, 0x93}, {0x201D, 0x94}, {0x2022, 0x95},
    {0x2013, 0x96}, {0x2014, 0x97}, {0x02DC, 0x98}, {0x2122, 0x99}, {0x0161, 0x9A}, {0x203A, 0x9B},
    {0x0153, 0x9C}, {0x017E, 0x9E}, {0x0178, 0x9F},
};

// The single byte whose table row stands for `c`, or 0.
unsigned char TableByte(wchar_t c) {
  if (c >= 128 && c <= 0xFF) return static_cast<unsigned char>(c);
  for (const Cp1252Char& entry : kCp1252) {
    if (static_cast<wchar_t>(entry.code) == c) return entry.byte;
  }
  return 0;
}

std::wstring FoldWide(std::wstring_view wide) {
  std::wstring folded;
  folded.reserve(wide.size());
  for (wchar_t c : wide) {
    unsigned char byte = TableByte(c);
    auto replacement = byte ? ReplacementByChar(byte) : std::nullopt;
    if (!replacement) {
      folded += c;
      continue;
    }
    // Replacements are Latin-1 bytes (the degree sign stays itself).
    for (char r : *replacement) folded += static_cast<wchar_t>(static_cast<unsigned char>(r));
  }
  return folded;
}

}  // namespace

void NoAccent(Interpreter& interp, Variable& var) {
  std::string text = VarText(var);
  std::string charset = PageCharset(interp);
  if (IsSingleByteCharset(charset)) {
    FoldAccents(text);
    VarSet(var, text);
    return;
  }
  size_t consumed = 0;
  auto wide = ToWide(interp, charset, text, &consumed);
  if (!wide) return;
  std::string folded;
  if (!FromWide(interp, charset, FoldWide(*wide), folded)) return;
  // Bytes behind a conversion error are kept as they were.
  folded.append(text, consumed);
  VarSet(var, folded);
}

}  // namespace kwl
