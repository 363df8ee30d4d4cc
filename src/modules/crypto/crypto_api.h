// The crypto module's entry points: HMAC and the page cipher, loaded on first use.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace kwl {

constexpr const char* kCryptoModule = "crypto";

// Writes the HMAC of `message` under `key` with "sha1" or "md5" into `digest`; false on failure.
using CryptoHmacFn = bool (*)(const char* algorithm, std::string_view key, std::string_view message,
                              std::string* digest);
constexpr const char* kCryptoHmacSymbol = "kwl_crypto_hmac";

// AES-256-CBC with the installation's key and vector. Returns 0 with the
// result in `out`, or the failing stage: 4 context, 3 init, 2 update, 1 final.
using CryptoCipherFn = int (*)(bool encrypt, std::string_view input, std::string* out);
constexpr const char* kCryptoCipherSymbol = "kwl_crypto_cipher";

}  // namespace kwl
