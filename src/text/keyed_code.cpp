#include "text/keyed_code.h"

#include <array>
#include <cstdint>

#include "text/md5.h"

namespace kwl {

namespace {

constexpr std::string_view kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";

// The remainder keeps the sign of the dividend; the low 8 bits are kept.
inline char Mod255(int value) {
  return static_cast<char>(static_cast<uint8_t>(value % 255));
}

}  // namespace

std::string KeyedCode(std::string_view text, std::string_view key) {
  text = text.substr(0, text.find('\0'));
  if (text.empty()) text = std::string_view("\0", 1);
  if (key.empty()) key = std::string_view("\0", 1);
  size_t n = text.size();
  auto t = [&](size_t i) { return static_cast<int>(static_cast<signed char>(text[i % n])); };
  std::array<char, 64> m{};
  for (size_t i = 0; i < 16; ++i) {
    int c = static_cast<uint8_t>(key[i % key.size()]);
    m[i] = Mod255(t(i));
    m[i + 16] = Mod255(t(i + 16) + c);
    m[i + 32] = Mod255(c * t(i + 32));
    m[i + 48] = Mod255(t(i + 48) - c);
  }
  Md5Digest digest = Md5(std::string_view(m.data(), m.size()));
  std::string code(kKeyedCodeLength, ' ');
  for (size_t j = 0; j < kKeyedCodeLength; ++j) code[j] = kAlphabet[digest[j] % kAlphabet.size()];
  return code;
}

}  // namespace kwl
