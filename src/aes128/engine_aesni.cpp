#include "engine.h"
namespace pelm::aes128 {
const EngineKernels* aesni_kernels() { return nullptr; }
}
