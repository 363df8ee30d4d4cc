// HMAC and the page cipher over the system's TLS/crypto library.
#include <openssl/evp.h>
#include <openssl/hmac.h>

#include <memory>

#include "core/module_entry.h"
#include "modules/crypto/cipher_key.h"
#include "modules/crypto/crypto_api.h"

namespace {

struct CipherContextFree {
  void operator()(EVP_CIPHER_CTX* ctx) const { EVP_CIPHER_CTX_free(ctx); }
};

const unsigned char* Bytes(std::string_view text) {
  return reinterpret_cast<const unsigned char*>(text.data());
}

}  // namespace

extern "C" bool kwl_crypto_hmac(const char* algorithm, std::string_view key,
                                std::string_view message, std::string* digest) {
  const EVP_MD* md = std::string_view(algorithm) == "sha1" ? EVP_sha1() : EVP_md5();
  unsigned char out[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  // An empty key is still a key: HMAC wants a valid pointer for it.
  static const unsigned char kNoKey = 0;
  const unsigned char* keyBytes = key.empty() ? &kNoKey : Bytes(key);
  if (!HMAC(md, keyBytes, static_cast<int>(key.size()), Bytes(message), message.size(), out,
            &length)) {
    return false;
  }
  digest->assign(reinterpret_cast<const char*>(out), length);
  return true;
}

extern "C" int kwl_crypto_cipher(bool encrypt, std::string_view input, std::string* out) {
  std::unique_ptr<EVP_CIPHER_CTX, CipherContextFree> ctx(EVP_CIPHER_CTX_new());
  if (!ctx) return 4;
  if (EVP_CipherInit_ex(ctx.get(), EVP_aes_256_cbc(), nullptr, kwl::kCipherKey, kwl::kCipherIv,
                        encrypt ? 1 : 0) != 1) {
    return 3;
  }
  if (input.size() > (1u << 30)) return 2;
  std::string buffer(input.size() + 128, '\0');
  auto* dest = reinterpret_cast<unsigned char*>(buffer.data());
  int written = 0;
  if (EVP_CipherUpdate(ctx.get(), dest, &written, Bytes(input), static_cast<int>(input.size())) !=
      1) {
    return 2;
  }
  int last = 0;
  if (EVP_CipherFinal_ex(ctx.get(), dest + written, &last) != 1) return 1;
  buffer.resize(static_cast<size_t>(written + last));
  *out = std::move(buffer);
  return 0;
}

// The module's entry: no tags, only the functions above.
namespace {
constexpr kwl::ModuleEntry kEntry{kwl::kModuleAbi, "crypto", nullptr, nullptr,
                                  nullptr,         nullptr,  nullptr};
}
extern "C" const kwl::ModuleEntry* kwl_module() {
  return &kEntry;
}
