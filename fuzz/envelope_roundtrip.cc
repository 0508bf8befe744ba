// Sealing then opening arbitrary bytes gives them back, under a key and IV
// text also taken from the input (any 64 and 32 bytes are accepted).
#include <fuzzer/FuzzedDataProvider.h>

#include <string>

#include "fuzz_support.h"
#include "pelm/envelope.h"

using namespace pelm::fuzz;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  silence_log();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  std::string key = in.ConsumeBytesAsString(64), iv = in.ConsumeBytesAsString(32);
  key.resize(64, '0');
  iv.resize(32, '0');
  const std::string plain = in.ConsumeRemainingBytesAsString();
  std::string envelope, opened;
  check(myEncrypt(key, iv, plain, envelope), "sealing failed");
  check(envelope.size() % 4 == 0 &&
            envelope.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"
                                       "0123456789+/=") == std::string::npos,
        "envelope is not one Base64 text");
  check(myDecrypt(key, iv, envelope, opened), "opening failed");
  check(opened == plain, "opened text differs");
  return 0;
}
