// An envelope built independently of the library: zlib, OpenSSL EVP
// aes-256-cfb128 and EVP_EncodeBlock, with an arbitrary trailer.
#ifndef PELM_ENVELOPE_REFERENCE_H
#define PELM_ENVELOPE_REFERENCE_H

#include <openssl/evp.h>
#include <zlib.h>

#include <cstdint>
#include <string>
#include <vector>

namespace pelm::test {

inline std::string cfb256(const std::string& key, const std::string& iv,
                          const std::string& in, bool encrypt) {
  std::string out(in.size(), '\0');
  EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
  int len = 0;
  EVP_CipherInit_ex(ctx, EVP_aes_256_cfb128(), nullptr,
                    reinterpret_cast<const unsigned char*>(key.data()),
                    reinterpret_cast<const unsigned char*>(iv.data()), encrypt);
  EVP_CipherUpdate(ctx, reinterpret_cast<unsigned char*>(&out[0]), &len,
                   reinterpret_cast<const unsigned char*>(in.data()),
                   static_cast<int>(in.size()));
  EVP_CIPHER_CTX_free(ctx);
  return out;
}

inline std::string zlib9(const std::string& data) {
  uLongf size = compressBound(data.size());
  std::string out(size, '\0');
  compress2(reinterpret_cast<Bytef*>(&out[0]), &size,
            reinterpret_cast<const Bytef*>(data.data()), data.size(), 9);
  out.resize(size);
  return out;
}

inline std::string base64(const std::string& bytes) {
  std::string out(4 * ((bytes.size() + 2) / 3) + 1, '\0');
  const int n = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(&out[0]),
                                reinterpret_cast<const unsigned char*>(bytes.data()),
                                static_cast<int>(bytes.size()));
  out.resize(n);
  return out;
}

// Envelope of a given zlib stream with a given trailer; key and iv raw.
inline std::string envelope_of_stream(const std::string& key, const std::string& iv,
                                      const std::string& stream, uint32_t trailer) {
  std::string payload = cfb256(key, iv, stream, true);
  for (int shift = 24; shift >= 0; shift -= 8) payload += static_cast<char>(trailer >> shift);
  return base64(payload);
}

inline std::string reference_envelope(const std::string& key, const std::string& iv,
                                      const std::string& data) {
  return envelope_of_stream(key, iv, zlib9(data), static_cast<uint32_t>(data.size()));
}

}  // namespace pelm::test

#endif
