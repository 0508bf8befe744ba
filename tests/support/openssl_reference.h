// OpenSSL EVP (or BoringSSL's) as the reference the suites check against.
#ifndef PELM_OPENSSL_REFERENCE_H
#define PELM_OPENSSL_REFERENCE_H

#include <openssl/evp.h>

#include <string>

namespace pelm::test {

// One EVP pass; padding only where asked for.
inline std::string evp(const EVP_CIPHER* cipher, const std::string& key,
                       const std::string& iv, const std::string& in, bool encrypt,
                       bool pad = false) {
  std::string out(in.size() + 32, '\0');
  EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
  int n = 0, tail = 0;
  EVP_CipherInit_ex(ctx, cipher, nullptr, reinterpret_cast<const unsigned char*>(key.data()),
                    iv.empty() ? nullptr : reinterpret_cast<const unsigned char*>(iv.data()),
                    encrypt);
  EVP_CIPHER_CTX_set_padding(ctx, pad);
  EVP_CipherUpdate(ctx, reinterpret_cast<unsigned char*>(&out[0]), &n,
                   reinterpret_cast<const unsigned char*>(in.data()), static_cast<int>(in.size()));
  EVP_CipherFinal_ex(ctx, reinterpret_cast<unsigned char*>(&out[n]), &tail);
  EVP_CIPHER_CTX_free(ctx);
  out.resize(n + tail);
  return out;
}

}  // namespace pelm::test

#endif
