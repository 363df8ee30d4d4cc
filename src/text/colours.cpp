#include "text/colours.h"

#include <cstdio>

#include "text/text_log.h"

namespace kwl {

namespace {

struct NamedColour {
  std::string_view name;
  uint32_t value;
};

constexpr NamedColour kColours[] = {
    {"aqua", 0x00FFFF},   {"black", 0x000000}, {"blue", 0x0000FF},   {"fuchsia", 0xFF00FF},
    {"grey", 0x808080},   {"green", 0x008000}, {"lime", 0x00FF00},   {"maroon", 0x800000},
    {"navy", 0x000080},   {"olive", 0x808000}, {"purple", 0x800080}, {"red", 0xFF0000},
    {"silver", 0xC0C0C0}, {"teal", 0x008080},  {"white", 0xFFFFFF},  {"yellow", 0xFFFF00},
};

constexpr uint32_t kWhite = 0xFFFFFF;

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char c = a[i] >= 'A' && a[i] <= 'Z' ? static_cast<char>(a[i] + ('a' - 'A')) : a[i];
    if (c != b[i]) return false;
  }
  return true;
}

}  // namespace

uint32_t ReadColour(TextLog& log, std::string_view text) {
  if (text.find('#') != std::string_view::npos) {
    uint32_t value = 0;
    for (size_t i = 1; i < text.size() && HexDigit(text[i]) >= 0; ++i) {
      value = (value << 4) | static_cast<uint32_t>(HexDigit(text[i]));
      if (value > kWhite) return kWhite;  // a colour has 24 bits
    }
    return value;
  }
  for (const NamedColour& colour : kColours) {
    if (SameName(text, colour.name)) return colour.value;
  }
  LOGF(log, "WARNING: Color undefined !! Black as default\n");
  return 0;
}

std::string ColourComponents(uint32_t colour) {
  char text[64];
  std::snprintf(text, sizeof text, "%.2f %.2f %.2f", ((colour >> 16) & 0xFF) / 255.0,
                ((colour >> 8) & 0xFF) / 255.0, (colour & 0xFF) / 255.0);
  return text;
}

}  // namespace kwl
