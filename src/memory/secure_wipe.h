// Clearing memory that held a secret, in a way the compiler cannot drop as
// a dead store: builds without libcrypto have no OPENSSL_cleanse, and
// Android API 21 has no explicit_bzero.
#ifndef PELM_MEMORY_SECURE_WIPE_H
#define PELM_MEMORY_SECURE_WIPE_H

#include <cstddef>

namespace pelm {

void secure_wipe(void* data, size_t length);

// Clears the stack just below the caller's frame, where the frames of the
// functions it called lay: the compiler spills vector registers holding
// round keys to slots no code of ours can name. Call it after such calls.
void wipe_stack_below();

}  // namespace pelm

#endif
