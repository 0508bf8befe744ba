// Clearing memory that held a secret, in a way the compiler cannot drop as
// a dead store: builds without libcrypto have no OPENSSL_cleanse, and
// Android API 21 has no explicit_bzero.
#ifndef PELM_MEMORY_SECURE_WIPE_H
#define PELM_MEMORY_SECURE_WIPE_H

#include <cstddef>

namespace pelm {

void secure_wipe(void* data, size_t length);

// Clears what the AES kernels leave beyond their buffers, after they have
// run: the stack just below the caller's frame (the compiler spills round
// keys to slots no code of ours can name) and the vector registers a call
// may clobber (a later variadic call, a signal or the lazy-binding resolver
// would store them on the stack).
void wipe_kernel_traces();

}  // namespace pelm

#endif
