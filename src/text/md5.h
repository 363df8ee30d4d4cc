// MD5 message digest (RFC 1321), kept here so that session ids and keyed codes need no crypto
// library.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace kwl {

using Md5Digest = std::array<uint8_t, 16>;

// Incremental digest: Md5Update any number of times, then Md5Final once.
struct Md5Context {
  std::array<uint32_t, 4> state{0x67452301u, 0xefcdab89u, 0x98badcfeu, 0x10325476u};
  uint64_t length = 0;  // bytes taken so far
  std::array<uint8_t, 64> block{};
};

void Md5Update(Md5Context& ctx, std::string_view data);
Md5Digest Md5Final(Md5Context& ctx);

Md5Digest Md5(std::string_view data);
// The digest as 32 lower-case hexadecimal digits.
std::string Md5Hex(std::string_view data);

}  // namespace kwl
