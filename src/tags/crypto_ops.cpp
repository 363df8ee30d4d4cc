// Format operations of the crypto module: HMAC, ENCRYPT and DECRYPT.
#include <cstdio>

#include "core/modules.h"
#include "modules/crypto/crypto_api.h"
#include "tags/format_ops.h"

namespace kwl {

namespace {

template <class Fn>
Fn CryptoFunction(FormatCall& call, const char* symbol) {
  std::string error;
  auto fn = reinterpret_cast<Fn>(ModuleSymbol(call.interp.proc, kCryptoModule, symbol, &error));
  if (!fn) ReportError(call.interp, 1, error);
  return fn;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Each pair of hexadecimal digits is a key byte; a last lone digit counts
// alone. False on any other character.
bool HexKey(std::string_view hex, std::string* key) {
  for (size_t i = 0; i < hex.size(); i += 2) {
    int high = HexDigit(hex[i]);
    int low = i + 1 < hex.size() ? HexDigit(hex[i + 1]) : 0;
    if (high < 0 || low < 0) return false;
    *key += static_cast<char>(i + 1 < hex.size() ? high * 16 + low : high);
  }
  return true;
}

int Cipher(FormatCall& call, bool encrypt) {
  std::string input = FormatInput(call);
  auto cipher = CryptoFunction<CryptoCipherFn>(call, kCryptoCipherSymbol);
  if (!cipher) return 1;
  std::string out;
  int stage = cipher(encrypt, input, &out);
  if (stage != 0) {
    static const char* const kEncrypt[] = {
        "", "Encrypt: Unable to EncryptFinal", "Encrypt: Unable to EncryptUpdate",
        "Encrypt: Unable to EncryptInit", "Encrypt: Unable to initialize EVP Cipher"};
    static const char* const kDecrypt[] = {
        "", "Decrypt: Unable to DecryptFinal", "Decrypt: Unable to DecryptUpdate",
        "Decrypt: Unable to DecryptInit", "Decrypt: Unable to initialize EVP Cipher"};
    ReportError(call.interp, stage, encrypt ? kEncrypt[stage] : kDecrypt[stage]);
    return stage;
  }
  VarSet(FormatTarget(call), out);
  return 0;
}

}  // namespace

int FormatHmac(FormatCall& call) {
  std::string message = FormatInput(call);
  bool sha1 = false;
  bool md5 = false;
  std::string hexKey = OtherAttribute(call, "SHA1", &sha1);
  if (!sha1) OtherAttribute(call, "MD5", &md5);
  std::string key;
  if ((!sha1 && !md5) || (sha1 && !HexKey(hexKey, &key))) {
    ReportError(call.interp, 1, "ERROR in HMAC completion");
    return 1;
  }
  auto hmac = CryptoFunction<CryptoHmacFn>(call, kCryptoHmacSymbol);
  std::string digest;
  if (!hmac || !hmac(sha1 ? "sha1" : "md5", key, message, &digest)) {
    ReportError(call.interp, 1, "ERROR in HMAC completion");
    return 1;
  }
  std::string hex;
  for (unsigned char byte : digest) {
    char pair[3];
    std::snprintf(pair, sizeof pair, "%02X", byte);
    hex += pair;
  }
  VarSet(FormatTarget(call), hex);
  return 0;
}

int FormatEncrypt(FormatCall& call) {
  return Cipher(call, true);
}
int FormatDecrypt(FormatCall& call) {
  return Cipher(call, false);
}

}  // namespace kwl
