// Clearing memory that held a secret, in a way the compiler cannot drop as
// a dead store: builds without libcrypto have no OPENSSL_cleanse, and
// Android API 21 has no explicit_bzero.
#ifndef PELM_MEMORY_SECURE_WIPE_H
#define PELM_MEMORY_SECURE_WIPE_H

#include <cstddef>

namespace pelm {

void secure_wipe(void* data, size_t length);

}  // namespace pelm

#endif
