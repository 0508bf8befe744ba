// One engine operation over a buffer, for counting its instructions under
// callgrind (make bench-instr). Usage: pelm_instr OP BYTES [software]
// OP: block_encrypt, block_decrypt, cbc_encrypt, cbc_decrypt, ctr.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "aes128/engine.h"
#include "pelm/aes128.h"

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s OP BYTES [software]\n", argv[0]);
    return 2;
  }
  const std::string op = argv[1];
  const uint32_t bytes = static_cast<uint32_t>(std::strtoul(argv[2], nullptr, 10));
  pelm::aes128::force_compact_engine(argc > 3 && std::strcmp(argv[3], "software") == 0);
  const uint8_t key[16] = {0x2b, 0x7e, 0x15, 0x16, 0x28, 0xae, 0xd2, 0xa6,
                           0xab, 0xf7, 0x15, 0x88, 0x09, 0xcf, 0x4f, 0x3c};
  const uint8_t iv[16] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};
  std::string in(bytes + 16, 'x'), out(bytes + 16, '\0');
  auto* i = reinterpret_cast<const uint8_t*>(in.data());
  auto* o = reinterpret_cast<uint8_t*>(&out[0]);
  // One-off costs (choosing the kernels, the lock's first use) are paid by
  // a call of another operation, outside what is counted.
  uint8_t scratch[16] = {0};
  if (op == "ctr") {
    qqppqp(scratch, key, scratch, 16);
  } else {
    qppqqp(scratch, scratch, 16, key, iv);
  }
  if (op == "block_encrypt") {
    qqppqp(i, key, o, 16);
  } else if (op == "block_decrypt") {
    qqppqq(i, key, o, 16);
  } else if (op == "cbc_encrypt") {
    qpppqp(o, i, bytes, key, iv);
  } else if (op == "cbc_decrypt") {
    qqqpqp(o, i, bytes, key, iv);
  } else if (op == "ctr") {
    qppqqp(o, i, bytes, key, iv);
  } else {
    std::fprintf(stderr, "unknown operation %s\n", op.c_str());
    return 2;
  }
  // The path that ran; the output byte keeps the work observable.
  std::printf("%s %02x\n", pelm::aes128::engine_kernels().name, o[0]);
  return 0;
}
