// The one dispatch point: which instructions run AES, for both key sizes.
// Decided on first use from what the CPU and the build offer (no code runs
// at load), thread-safe.
#ifndef PELM_AES_COMMON_INSTRUCTION_SET_H
#define PELM_AES_COMMON_INSTRUCTION_SET_H

namespace pelm::aes {

enum class Instructions { kSoftware, kAesni, kArmv8 };

// What AES runs on now: the CPU's AES instructions where the build has
// their path and the CPU has them, the software path otherwise.
Instructions aes_instructions();

// Tests only: run everything on the software path (true) or on the best
// the CPU offers (false). Not exported from the library.
void force_software_aes(bool software);

}  // namespace pelm::aes

#endif
