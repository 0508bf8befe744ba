// Clearing what AES code leaves beyond its buffers once it has run: the
// stack just below the caller's frame (the compiler spills round keys to
// slots no code of ours can name) and the vector registers a call may
// clobber (a later variadic call, a signal or the lazy-binding resolver
// would store them on the stack).
#ifndef PELM_AES_COMMON_KERNEL_TRACES_H
#define PELM_AES_COMMON_KERNEL_TRACES_H

namespace pelm {

// After the library's own kernels, on the path in use.
void wipe_kernel_traces();

// After a call into libcrypto's AES, whose frames the library cannot see.
void wipe_foreign_cipher_traces();

// After zlib has run over a plaintext: its frames can keep pieces of it
// (seen on arm64, where inflate spills eight bytes of output at a time).
void wipe_zlib_traces();

}  // namespace pelm

#endif
