#include "text/md5.h"

#include <algorithm>

namespace kwl {

namespace {

constexpr uint32_t kSine[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391};

constexpr int kShift[4][4] = {{7, 12, 17, 22}, {5, 9, 14, 20}, {4, 11, 16, 23}, {6, 10, 15, 21}};

inline uint32_t RotateLeft(uint32_t x, int n) {
  return (x << n) | (x >> (32 - n));
}

void Transform(std::array<uint32_t, 4>& state, const uint8_t* block) {
  uint32_t x[16];
  for (int i = 0; i < 16; ++i) {
    x[i] = uint32_t{block[i * 4]} | uint32_t{block[i * 4 + 1]} << 8 |
           uint32_t{block[i * 4 + 2]} << 16 | uint32_t{block[i * 4 + 3]} << 24;
  }
  uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
  for (int i = 0; i < 64; ++i) {
    int round = i / 16;
    uint32_t f;
    int g;
    switch (round) {
      case 0:
        f = (b & c) | (~b & d);
        g = i;
        break;
      case 1:
        f = (d & b) | (~d & c);
        g = (5 * i + 1) % 16;
        break;
      case 2:
        f = b ^ c ^ d;
        g = (3 * i + 5) % 16;
        break;
      default:
        f = c ^ (b | ~d);
        g = (7 * i) % 16;
        break;
    }
    uint32_t next = b + RotateLeft(a + f + kSine[i] + x[g], kShift[round][i % 4]);
    a = d;
    d = c;
    c = b;
    b = next;
  }
  state[0] += a;
  state[1] += b;
  state[2] += c;
  state[3] += d;
}

}  // namespace

void Md5Update(Md5Context& ctx, std::string_view data) {
  size_t used = ctx.length % 64;
  ctx.length += data.size();
  const auto* in = reinterpret_cast<const uint8_t*>(data.data());
  size_t left = data.size();
  if (used > 0) {
    size_t take = std::min(left, 64 - used);
    std::copy(in, in + take, ctx.block.begin() + static_cast<long>(used));
    in += take;
    left -= take;
    if (used + take < 64) return;
    Transform(ctx.state, ctx.block.data());
  }
  for (; left >= 64; in += 64, left -= 64) Transform(ctx.state, in);
  std::copy(in, in + left, ctx.block.begin());
}

Md5Digest Md5Final(Md5Context& ctx) {
  uint64_t bits = ctx.length * 8;
  size_t used = ctx.length % 64;
  size_t padding = used < 56 ? 56 - used : 120 - used;
  static constexpr char kPad[64] = {'\x80'};
  Md5Update(ctx, std::string_view(kPad, padding));
  char length[8];
  for (int i = 0; i < 8; ++i) length[i] = static_cast<char>(bits >> (8 * i));
  Md5Update(ctx, std::string_view(length, 8));
  Md5Digest digest;
  for (int i = 0; i < 16; ++i) digest[i] = static_cast<uint8_t>(ctx.state[i / 4] >> (8 * (i % 4)));
  return digest;
}

Md5Digest Md5(std::string_view data) {
  Md5Context ctx;
  Md5Update(ctx, data);
  return Md5Final(ctx);
}

std::string Md5Hex(std::string_view data) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string hex;
  for (uint8_t byte : Md5(data)) {
    hex += kHex[byte >> 4];
    hex += kHex[byte & 15];
  }
  return hex;
}

}  // namespace kwl
