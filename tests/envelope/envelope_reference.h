// An envelope built independently of the library: zlib, AES-256-CFB128 over
// EVP's ECB, and EVP_EncodeBlock, with an arbitrary trailer.
#ifndef PELM_ENVELOPE_REFERENCE_H
#define PELM_ENVELOPE_REFERENCE_H

#include <openssl/evp.h>
#include <zlib.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace pelm::test {

// AES-256-CFB128 by its definition (SP 800-38A 6.3) over EVP's ECB, which
// every libcrypto has: each keystream block is the cipher of the previous
// ciphertext block, the first that of the IV.
inline std::string cfb256(const std::string& key, const std::string& iv,
                          const std::string& in, bool encrypt) {
  std::string out(in.size(), '\0');
  EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
  EVP_EncryptInit_ex(ctx, EVP_aes_256_ecb(), nullptr,
                     reinterpret_cast<const unsigned char*>(key.data()), nullptr);
  EVP_CIPHER_CTX_set_padding(ctx, 0);
  unsigned char feedback[16], keystream[16];
  std::memcpy(feedback, iv.data(), 16);
  for (size_t i = 0; i < in.size(); i += 16) {
    int n = 0;
    EVP_EncryptUpdate(ctx, keystream, &n, feedback, 16);
    for (size_t j = 0; j < 16 && i + j < in.size(); ++j) {
      out[i + j] = static_cast<char>(in[i + j] ^ keystream[j]);
      feedback[j] = static_cast<unsigned char>(encrypt ? out[i + j] : in[i + j]);
    }
  }
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
