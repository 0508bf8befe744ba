// Seals a text with the library's envelope codec, prints the envelope, and
// opens it again.
#include <cstdio>
#include <string>

#include "aes_common/cpu_features.h"
#include "pelm/envelope.h"
#include "pelm/version.h"

int main(int argc, char** argv) {
  const std::string key = "000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f";
  const std::string iv = "a0a1a2a3a4a5a6a7a8a9aaabacadaeaf";
  const std::string text = argc > 1 ? argv[1] : "Hello from libpelmLib!";

  std::string envelope, opened;
  if (!myEncrypt(key, iv, text, envelope)) {
    std::fprintf(stderr, "sealing failed\n");
    return 1;
  }
  if (!myDecrypt(key, iv, envelope, opened)) {
    std::fprintf(stderr, "opening failed\n");
    return 1;
  }
  std::printf("text:     %s\nenvelope: %s\nopened:   %s\n", text.c_str(),
              envelope.c_str(), opened.c_str());
  std::printf("AES on this CPU: %s\nenvelope AES-256 and Base64: %s\n", pelm::aes::aes_path_name(),
              PELM_CRYPTO_PROVIDER);
  return opened == text ? 0 : 1;
}
