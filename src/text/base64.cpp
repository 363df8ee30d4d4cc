#include "text/base64.h"

#include <array>
#include <cstdint>

#include "text/text_log.h"

namespace kwl {

namespace {

constexpr std::string_view kAlphabet =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr int8_t kInvalid = -1;

constexpr std::array<int8_t, 256> kValueOf = [] {
  std::array<int8_t, 256> values{};
  values.fill(kInvalid);
  for (size_t i = 0; i < kAlphabet.size(); ++i) {
    values[static_cast<unsigned char>(kAlphabet[i])] = static_cast<int8_t>(i);
  }
  return values;
}();

// The whole bytes that `count` sextets (0 to 4) hold; a lone sextet holds none.
void FlushGroup(uint32_t group, int count, std::string& out) {
  if (count < 2) return;
  group <<= 6 * (4 - count);
  out += static_cast<char>(group >> 16);
  if (count >= 3) out += static_cast<char>(group >> 8);
  if (count == 4) out += static_cast<char>(group);
}

}  // namespace

void Base64Encode(std::string_view bytes, std::string& out) {
  out.reserve(out.size() + (bytes.size() + 2) / 3 * 4);
  size_t i = 0;
  for (; i + 3 <= bytes.size(); i += 3) {
    uint32_t group = uint32_t{static_cast<uint8_t>(bytes[i])} << 16 |
                     uint32_t{static_cast<uint8_t>(bytes[i + 1])} << 8 |
                     static_cast<uint8_t>(bytes[i + 2]);
    for (int shift = 18; shift >= 0; shift -= 6) out += kAlphabet[(group >> shift) & 63];
  }
  size_t left = bytes.size() - i;
  if (left == 0) return;
  uint32_t group = uint32_t{static_cast<uint8_t>(bytes[i])} << 16;
  if (left == 2) group |= uint32_t{static_cast<uint8_t>(bytes[i + 1])} << 8;
  out += kAlphabet[(group >> 18) & 63];
  out += kAlphabet[(group >> 12) & 63];
  out += left == 2 ? kAlphabet[(group >> 6) & 63] : '=';
  out += '=';
}

void Base64Decode(TextLog& log, std::string_view text, std::string& out) {
  uint32_t group = 0;
  int count = 0;
  for (char c : text) {
    if (c == '=') {
      FlushGroup(group, count, out);
      return;
    }
    int value = kValueOf[static_cast<unsigned char>(c)];
    if (value == kInvalid) {
      LOGF(log, "Invalid character found %c\n", c);
      continue;
    }
    group = group << 6 | static_cast<uint32_t>(value);
    if (++count == 4) {
      FlushGroup(group, count, out);
      group = 0;
      count = 0;
    }
  }
  // Without its padding a last partial group is taken as cut off: nothing.
}

}  // namespace kwl
