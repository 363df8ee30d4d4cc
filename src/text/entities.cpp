#include "text/entities.h"

#include <array>
#include <cstdint>

#include "text/decimal.h"

namespace kwl {

namespace {

struct EntityRow {
  unsigned char character;
  std::string_view entity;
  std::string_view replacement;
};

// Looked up in this order: the first row that matches wins (A4 shares the
// entity text of A3, so "&pound;" decodes to A3).
constexpr EntityRow kRows[] = {
    {0xA0, "&nbsp;", " "},     {0xA1, "&iexcl;", " "},    {0xA2, "&cent;", " "},
    {0xA3, "&pound;", " "},    {0xA4, "&pound;", " "},    {0xA5, "&yen;", " "},
    {0xA6, "&brvbar;", "|"},   {0xA7, "&sect;", " "},     {0xA8, "&uml;", " "},
    {0xA9, "&copy;", "(C)"},   {0xAA, "&ordf;", " "},     {0xAB, "&laquo;", "<<"},
    {0xAC, "&not;", " "},      {0xAD, "&shy;", "-"},      {0xAE, "&reg;", "(R)"},
    {0xAF, "&macr;", " "},     {0xB0, "&deg;", "\xB0"},   {0xB1, "&plusmn;", "+/-"},
    {0xB2, "&sup2;", "2"},     {0xB3, "&sup3;", "3"},     {0xB4, "&acute;", "'"},
    {0xB5, "&micro;", " "},    {0xB6, "&para;", " "},     {0xB7, "&middot;", " "},
    {0xB8, "&cedil;", " "},    {0xB9, "&sup1;", "1"},     {0xBA, "&ordm;", " "},
    {0xBB, "&raquo;", ">>"},   {0xBC, "&frac14;", "1/4"}, {0xBD, "&frac12;", "1/2"},
    {0xBE, "&frac34;", "3/4"}, {0xBF, "&iquest;", " "},   {0xC0, "&Agrave;", "A"},
    {0xC1, "&Aacute;", "A"},   {0xC2, "&Acirc;", "A"},    {0xC3, "&Atilde;", "A"},
    {0xC4, "&Auml;", "A"},     {0xC5, "&Aring;", "A"},    {0xC6, "&AElig;", "AE"},
    {0xC7, "&Ccedil;", "C"},   {0xC8, "&Egrave;", "E"},   {0xC9, "&Eacute;", "E"},
    {0xCA, "&Ecirc;", "E"},    {0xCB, "&Euml;", "E"},     {0xCC, "&Igrave;", "I"},
    {0xCD, "&Iacute;", "I"},   {0xCE, "&Icirc;", "I"},    {0xCF, "&Iuml;", "I"},
    {0xD0, "&ETH;", "D"},      {0xD1, "&Ntilde;", "N"},   {0xD2, "&Ograve;", "O"},
    {0xD3, "&Oacute;", "O"},   {0xD4, "&Ocirc;", "O"},    {0xD5, "&Otilde;", "O"},
    {0xD6, "&Ouml;", "O"},     {0xD7, "&times;", "x"},    {0xD8, "&Oslash;", "0"},
    {0xD9, "&Ugrave;", "U"},   {0xDA, "&Uacute;", "U"},   {0xDB, "&Ucirc;", "U"},
    {0xDC, "&Uuml;", "U"},     {0xDD, "&Yacute;", "Y"},   {0xDE, "&THORN;", " "},
    {0xDF, "&szlig;", " "},    {0xE0, "&agrave;", "a"},   {0xE1, "&aacute;", "a"},
    {0xE2, "&acirc;", "a"},    {0xE3, "&atilde;", "a"},   {0xE4, "&auml;", "a"},
    {0xE6, "&aelig;", "ae"},   {0xE7, "&ccedil;", "c"},   {0xE8, "&egrave;", "e"},
    {0xE9, "&eacute;", "e"},   {0xEA, "&ecirc;", "e"},    {0xEB, "&euml;", "e"},
    {0xEC, "&igrave;", "i"},   {0xED, "&iacute;", "i"},   {0xEE, "&icirc;", "i"},
    {0xEF, "&iuml;", "i"},     {0xF0, "&eth;", " "},      {0xF1, "&ntilde;", "n"},
    {0xF2, "&ograve;", "o"},   {0xF3, "&oacute;", "o"},   {0xF4, "&ocirc;", "o"},
    {0xF5, "&otilde;", "o"},   {0xF6, "&ouml;", "o"},     {0xF8, "&oslash;", "o"},
    {0xF9, "&ugrave;", "u"},   {0xFA, "&uacute;", "u"},   {0xFB, "&ucirc;", "u"},
    {0xFC, "&uuml;", "u"},     {0xFD, "&yacute;", "y"},   {0xFE, "&thorn;", " "},
    {0xFF, "&yuml;", "y"},     {0x80, "&euro;", "Euro"},  {0x82, "&sbquo;", ","},
    {0x83, "&fnof;", "f"},     {0x84, "&bdquo;", ",,"},   {0x85, "&hellip;", "..."},
    {0x86, "&dagger;", "+"},   {0x87, "&Dagger;", " "},   {0x88, "&circ;", "^"},
    {0x89, "&permil;", "/oo"}, {0x8A, "&Scaron;", "S"},   {0x8B, "&lsaquo;", "<"},
    {0x8C, "&OElig;", "OE"},   {0x8E, "&Zcaron;", "Z"},   {0x91, "&lsquo;", "'"},
    {0x92, "&rsquo;", "'"},    {0x93, "&ldquo;", "\""},   {0x94, "&rdquo;", "\""},
    {0x95, "&bull;", "."},     {0x96, "&ndash;", "-"},    {0x97, "&mdash;", "-"},
    {0x98, "&tilde;", "~"},    {0x99, "&trade;", "(TM)"}, {0x9A, "&scaron;", "s"},
    {0x9B, "&rsaquo;", ">"},   {0x9C, "&oelig;", "oe"},   {0x9E, "&zcaron;", "z"},
    {0x9F, "&Yuml;", "Y"},     {0x22, "&quot;", "\""},    {0x26, "&amp;", "&"},
    {0x3C, "&lt;", "<"},       {0x3E, "&gt;", ">"},       {0x3D, "=", "="},
    {0x20, " ", " "},
};
static_assert(std::size(kRows) == 127);

constexpr int kNoRow = -1;

// For each byte, the index of its first row, built at compile time.
constexpr std::array<int16_t, 256> kRowOfByte = [] {
  std::array<int16_t, 256> index{};
  index.fill(kNoRow);
  for (int i = static_cast<int>(std::size(kRows)) - 1; i >= 0; --i) {
    index[kRows[i].character] = static_cast<int16_t>(i);
  }
  return index;
}();

const EntityRow* RowOf(unsigned char byte) {
  int row = kRowOfByte[byte];
  return row == kNoRow ? nullptr : &kRows[row];
}

// "&#n;" at `pos` (which holds the "&"): appends what it stands for and
// returns the position to go on from.
size_t DecodeNumeric(std::string_view text, size_t pos, std::string& out) {
  size_t digits = pos + 2;
  size_t end = text.find(';', digits);
  size_t count = (end == std::string_view::npos ? text.size() : end) - digits;
  if (count >= 4) return digits;  // "&#" dropped, the digits follow as text
  if (end == std::string_view::npos) {
    // Not closed before the end of the text: not a reference.
    out.append(text.substr(pos));
    return text.size();
  }
  out += static_cast<char>(ParseDecimal(text.substr(digits, count)) & 0xFF);
  return end + 1;
}

}  // namespace

std::optional<std::string_view> EntityByChar(unsigned char byte) {
  const EntityRow* row = RowOf(byte);
  if (!row) return std::nullopt;
  return row->entity;
}

std::optional<std::string_view> ReplacementByChar(unsigned char byte) {
  const EntityRow* row = RowOf(byte);
  if (!row) return std::nullopt;
  return row->replacement;
}

std::optional<unsigned char> EntityAt(std::string_view text) {
  for (const EntityRow& row : kRows) {
    if (text.substr(0, row.entity.size()) == row.entity) return row.character;
  }
  return std::nullopt;
}

void DecodeEntities(std::string_view text, std::string& out) {
  size_t pos = 0;
  while (pos < text.size()) {
    size_t amp = text.find('&', pos);
    if (amp == std::string_view::npos) amp = text.size();
    out.append(text.substr(pos, amp - pos));
    if (amp == text.size()) break;
    std::string_view rest = text.substr(amp);
    if (auto character = EntityAt(rest)) {
      out += static_cast<char>(*character);
      size_t semicolon = text.find(';', amp);
      pos = semicolon == std::string_view::npos ? text.size() : semicolon + 1;
    } else if (rest.substr(0, 2) == "&#") {
      pos = DecodeNumeric(text, amp, out);
    } else {
      out += '&';
      pos = amp + 1;
    }
  }
}

void FoldAccents(std::string& text) {
  std::string folded;
  folded.reserve(text.size());
  for (char c : text) {
    auto byte = static_cast<unsigned char>(c);
    const EntityRow* row = byte >= 128 ? RowOf(byte) : nullptr;
    if (row) {
      folded.append(row->replacement);
    } else {
      folded += c;
    }
  }
  text = std::move(folded);
}

}  // namespace kwl
